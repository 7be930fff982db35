#include "support/servers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace testing_support {

namespace {

// Splits `<method> <path> inm=<value> status=<code> body_bytes=<n>`; the value may hold blanks,
// the other fields never do.
bool parseLine(const std::string& line, Request* request) {
  static const std::regex shape(R"(^(\S+) (\S+) inm=(.*) status=(\d+) body_bytes=(\d+)$)");
  std::smatch field;
  if (!std::regex_match(line, field, shape)) {
    return false;
  }
  *request = {field[1], field[2], field[3].length() > 0 ? field[3].str() : "-", std::stoi(field[4]),
              std::stoull(field[5])};
  return true;
}

}  // namespace

std::string Endpoint::url(const std::string& path) const {
  return (tls_ ? "https" : "http") + std::string("://127.0.0.1:") + std::to_string(port_) + path;
}

std::string Endpoint::tag(const std::string& path) const {
  const ProcessResult head = runProcess({"/usr/bin/curl", "-sIk", url(path)});
  std::istringstream lines(head.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() > 6 && (line.rfind("ETag: ", 0) == 0 || line.rfind("etag: ", 0) == 0)) {
      return line.substr(6, line.find_last_not_of("\r") - 5);
    }
  }
  return "";
}

std::vector<Request> Endpoint::requests(size_t count) const {
  std::vector<Request> requests;
  waitUntil([&] {
    requests.clear();
    std::istringstream log(readFile(dir_ / "requests.log"));
    for (std::string line; std::getline(log, line);) {
      Request request;
      if (parseLine(line, &request)) {
        requests.push_back(request);
      }
    }
    return requests.size() >= count;
  });
  return requests;
}

Endpoint::Endpoint(const std::string& archive, const std::vector<std::string>& args,
                   Server server) {
  const bool nginx = server == Server::kNginx;
  std::vector<std::string> argv = {nginx ? BI_NGINX_PATH : BI_ENDPOINT_PATH, "--port", "0"};
  argv.insert(argv.end(), {"--port-file", dir_ / "port", "--log", dir_ / "requests.log"});
  if (!archive.empty()) {
    argv.insert(argv.end(), {nginx ? "--root" : "--archive", archive});
  }
  argv.insert(argv.end(), args.begin(), args.end());
  tls_ = std::find(args.begin(), args.end(), "--tls-cert") != args.end();
  // nginx runs as the script's child: the group goes with the object.
  process_ = std::make_unique<Child>(argv, Env{}, dir_ / "out", dir_ / "err", /*ownSession=*/nginx);
  // The port file appears, complete, by rename once the server listens.
  if (!waitUntil([&] { return exists(dir_ / "port") || process_->exited(); }) ||
      !exists(dir_ / "port")) {
    throw std::runtime_error(argv[0] + " did not start: " + readFile(dir_ / "err"));
  }
  port_ = std::stoi(readFile(dir_ / "port"));
}

Proxy::Proxy(const std::string& htpasswd) {
  // squid started as root works as its own user, who must reach these files.
  ::chmod(dir_.path().c_str(), 0777);
  std::string access = "http_access allow all\n";
  if (!htpasswd.empty()) {
    writeFile(dir_ / "users", htpasswd);
    access = "auth_param basic program /usr/lib/squid/basic_ncsa_auth " + dir_ / "users" +
             "\nacl users proxy_auth REQUIRED\nhttp_access allow users\nhttp_access deny all\n";
  }
  // A port taken meanwhile makes squid exit at once: another one is tried.
  for (int attempt = 0; attempt < 10 && port_ == 0; ++attempt) {
    const int port = 20000 + static_cast<int>(::random() % 28000);
    writeFile(dir_ / "squid.conf",
              "http_port 127.0.0.1:" + std::to_string(port) + "\npid_filename " + dir_ / "pid" +
                  "\ncache_log " + dir_ / "cache.log" + "\naccess_log stdio:" + dir_ / "access.log" +
                  "\ncache deny all\ncoredump_dir " + dir_.path() +
                  "\nshutdown_lifetime 0 seconds\n" + access);
    process_ = std::make_unique<Child>(
        std::vector<std::string>{"/usr/sbin/squid", "-N", "-f", dir_ / "squid.conf"}, Env{},
        dir_ / "out", dir_ / "err", /*ownSession=*/true);
    if (waitUntil([&] {
          return process_->exited() ||
                 readFile(dir_ / "cache.log").find("Accepting HTTP") != std::string::npos;
        }) &&
        !process_->exited()) {
      port_ = port;
    }
  }
  if (port_ == 0) {
    throw std::runtime_error("squid did not start: " + readFile(dir_ / "cache.log"));
  }
}

std::string Proxy::url(const std::string& credentials) const {
  return "http://" + (credentials.empty() ? "" : credentials + "@") + "127.0.0.1:" +
         std::to_string(port_);
}

size_t Proxy::served(size_t count) const {
  size_t lines = 0;
  waitUntil([&] {
    std::istringstream log(readFile(dir_ / "access.log"));
    lines = 0;
    for (std::string line; std::getline(log, line);) {
      lines += line.find("/200 ") != std::string::npos ? 1 : 0;
    }
    return lines >= count;
  });
  return lines;
}

}  // namespace testing_support
