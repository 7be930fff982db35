#include "support/servers.h"

#include <gtest/gtest.h>

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
  const char* const scripts[] = {BI_ENDPOINT_PATH,   BI_NGINX_PATH,      BI_SQUID_PATH,
                                 BI_WEB_SERVER_PATH, BI_WEB_SERVER_PATH, BI_WEB_SERVER_PATH};
  const char* const kinds[] = {"", "", "", "apache", "lighttpd", "plain"};
  const bool script = server != Server::kEndpoint;
  std::vector<std::string> argv = {scripts[static_cast<int>(server)]};
  if (*kinds[static_cast<int>(server)] != '\0') {
    argv.emplace_back(kinds[static_cast<int>(server)]);
  }
  argv.insert(argv.end(),
              {"--port", "0", "--port-file", dir_ / "port", "--log", dir_ / "requests.log"});
  if (!archive.empty()) {
    argv.insert(argv.end(), {script ? "--root" : "--archive", archive});
  }
  argv.insert(argv.end(), args.begin(), args.end());
  tls_ = std::find(args.begin(), args.end(), "--tls-cert") != args.end();
  // The server runs as the script's child: the group goes with the object.
  process_ = std::make_unique<Child>(argv, Env{}, dir_ / "out", dir_ / "err", script);
  // The port file appears, complete, by rename once the server listens.
  if (!waitUntil([&] { return exists(dir_ / "port") || process_->exited(); }) ||
      !exists(dir_ / "port")) {
    throw std::runtime_error(argv[0] + " did not start: " + readFile(dir_ / "err"));
  }
  port_ = std::stoi(readFile(dir_ / "port"));
}

}  // namespace testing_support
