#include "support/servers.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "framework/base/unique_fd.h"

namespace testing_support {

namespace {

// Splits `<method> <path> inm=<value> status=<code> body_bytes=<n>`; the value may hold blanks,
// the other fields never do.
bool parseLine(const std::string& line, Request* request) {
  const size_t path = line.find(' ');
  const size_t inm = line.find(" inm=");
  const size_t status = line.rfind(" status=");
  const size_t bytes = line.rfind(" body_bytes=");
  if (path == std::string::npos || !(path <= inm && inm < status && status < bytes) ||
      bytes == std::string::npos) {
    return false;
  }
  request->method = line.substr(0, path);
  request->path = line.substr(path + 1, inm - path - 1);
  request->inm = line.substr(inm + 5, status - inm - 5);
  request->inm = request->inm.empty() ? "-" : request->inm;  // nginx logs none as nothing
  request->status = std::stoi(line.substr(status + 8));
  request->bodyBytes = std::stoull(line.substr(bytes + 12));
  return true;
}

// A port that was free a moment ago: the kernel's pick for a socket bound to port 0.
int freePort() {
  const fw::UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("no free port on 127.0.0.1");
  }
  return ntohs(address.sin_port);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
  return text;
}

}  // namespace

std::string Server::url(const std::string& path) const {
  return (tls_ ? "https" : "http") + std::string("://127.0.0.1:") + std::to_string(port_) + path;
}

std::string Server::tag(const std::string& path) const {
  const ProcessResult head = runProcess({"/usr/bin/curl", "-sIk", url(path)});
  std::istringstream lines(head.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() > 6 && (line.rfind("ETag: ", 0) == 0 || line.rfind("etag: ", 0) == 0)) {
      return line.substr(6, line.find_last_not_of("\r") - 5);
    }
  }
  return "";
}

std::vector<Request> Server::requests(size_t count) const {
  std::vector<Request> requests;
  waitUntil([&] {
    requests.clear();
    std::istringstream log(readFile(log_));
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

Request Server::requestWithCondition(const std::string& inm, size_t count) const {
  // A line is written when its response has ended, not always in the order of the requests.
  for (const Request& request : requests(count)) {
    if (request.inm == inm) {
      return request;
    }
  }
  ADD_FAILURE() << "no request with If-None-Match " << inm;
  return {};
}

Endpoint::Endpoint(const std::string& archive, const std::vector<std::string>& args) {
  log_ = dir_ / "requests.log";
  std::vector<std::string> argv = {BI_ENDPOINT_PATH, "--port", "0", "--port-file",
                                   dir_ / "port",    "--log",  log_};
  if (!archive.empty()) {
    argv.insert(argv.end(), {"--archive", archive});
  }
  argv.insert(argv.end(), args.begin(), args.end());
  tls_ = std::find(args.begin(), args.end(), "--tls-cert") != args.end();
  process_ = std::make_unique<Child>(argv, Env{}, dir_ / "out", dir_ / "err");
  // The port file appears, complete, by rename once the server listens.
  if (!waitUntil([&] { return exists(dir_ / "port") || process_->exited(); }) ||
      !exists(dir_ / "port")) {
    throw std::runtime_error("bi-endpoint did not start: " + readFile(dir_ / "err"));
  }
  port_ = std::stoi(readFile(dir_ / "port"));
}

Nginx::Nginx(const std::string& webRoot) {
  log_ = dir_ / "access.log";
  const std::string conf = readFile(BI_NGINX_CONF_TEMPLATE);
  // Another process may take the port between the pick and nginx's bind: then try another.
  for (int attempt = 0; attempt < 5 && port_ == 0; ++attempt) {
    const int port = freePort();
    writeFile(dir_ / "nginx.conf",
              replaced(replaced(replaced(conf, "@DIR@", dir_.path()), "@ROOT@", webRoot), "@PORT@",
                       std::to_string(port)));
    ::unlink((dir_ / "nginx.pid").c_str());
    process_ = std::make_unique<Child>(
        std::vector<std::string>{"/usr/sbin/nginx", "-p", dir_.path(), "-e", dir_ / "error.log",
                                 "-c", dir_ / "nginx.conf"},
        Env{}, dir_ / "out", dir_ / "err");
    // nginx writes its pid file once it listens.
    if (waitUntil([&] { return exists(dir_ / "nginx.pid") || process_->exited(); }) &&
        !process_->exited()) {
      port_ = port;
    }
  }
  if (port_ == 0) {
    throw std::runtime_error("nginx did not start: " + readFile(dir_ / "error.log"));
  }
}

}  // namespace testing_support
