#include "support/nginx_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>

#include "support/files.h"

namespace testing_support {

namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";
constexpr int kStartAttempts = 5;

// A port that was free a moment ago: the kernel's pick for a socket bound to port 0.
int pickFreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(address);
  int port = 0;
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  if (fd >= 0) {
    ::close(fd);
  }
  if (port == 0) {
    throw std::runtime_error("no free port on 127.0.0.1");
  }
  return port;
}

// A double-quoted nginx string.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
    }
    out += c;
  }
  return out + "\"";
}

// One process, in the foreground: no daemon, and no master that would hand the work to
// workers running as another user, who could not read the test's private directories.
std::string configuration(const std::string& dir, int port, const std::string& webRoot) {
  std::ostringstream conf;
  conf << "daemon off;\n"
       << "master_process off;\n"
       << "worker_processes 1;\n"
       << "pid " << quoted(dir + "/nginx.pid") << ";\n"
       << "lock_file " << quoted(dir + "/nginx.lock") << ";\n"
       << "error_log " << quoted(dir + "/error.log") << " info;\n"
       << "events { worker_connections 64; }\n"
       << "http {\n"
       << "  log_format bi '$status $body_bytes_sent \"$http_if_none_match\" \"$request\"';\n"
       << "  access_log " << quoted(dir + "/access.log") << " bi;\n";
  for (const char* kind : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
    conf << "  " << kind << "_temp_path " << quoted(dir + "/" + kind + "_temp") << ";\n";
  }
  conf << "  types { application/zip zip; }\n"
       << "  default_type application/octet-stream;\n"
       << "  server {\n"
       << "    listen 127.0.0.1:" << port << ";\n"
       << "    root " << quoted(webRoot) << ";\n"
       << "    etag on;\n"
       << "  }\n"
       << "}\n";
  return conf.str();
}

// Undoes nginx's log escaping of bytes such as '"' as \xHH.
std::string unescaped(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "\\x") == 0 && i + 4 <= text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 2, 2), nullptr, 16));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Splits `<status> <bytes> "<if-none-match>" "<request>"`; the quoted fields hold no '"'
// since nginx escapes it. False for a line of another shape.
bool parseAccessLine(const std::string& line, NginxLogLine* entry) {
  std::istringstream fields(line);
  std::string inm;
  std::string request;
  if (!(fields >> entry->status >> entry->bodyBytes)) {
    return false;
  }
  const size_t firstQuote = line.find('"');
  const size_t secondQuote = line.find('"', firstQuote + 1);
  const size_t thirdQuote = line.find('"', secondQuote + 1);
  const size_t lastQuote = line.rfind('"');
  if (firstQuote == std::string::npos || secondQuote == std::string::npos ||
      thirdQuote == std::string::npos || lastQuote <= thirdQuote) {
    return false;
  }
  entry->inm = unescaped(line.substr(firstQuote + 1, secondQuote - firstQuote - 1));
  entry->request = unescaped(line.substr(thirdQuote + 1, lastQuote - thirdQuote - 1));
  return true;
}

}  // namespace

NginxServer::NginxServer(const std::string& webRoot) {
  for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
    if (startOn(pickFreePort(), webRoot)) {
      return;
    }
  }
  throw std::runtime_error("nginx did not start: " + readFile(dir_ / "error.log") +
                           readFile(dir_ / "stderr"));
}

NginxServer::~NginxServer() {
  stop();
}

bool NginxServer::startOn(int port, const std::string& webRoot) {
  const std::string pidFile = dir_ / "nginx.pid";
  ::unlink(pidFile.c_str());
  writeFile(dir_ / "nginx.conf", configuration(dir_.path(), port, webRoot));
  process_ = std::make_unique<BackgroundProcess>(
      kNginx,
      std::vector<std::string>{kNginx, "-p", dir_.path(), "-e", dir_ / "error.log", "-c",
                               dir_ / "nginx.conf"},
      dir_ / "stdout", dir_ / "stderr");
  // nginx writes its pid file after it has opened its listening socket.
  const bool listening =
      waitUntil([&] { return exists(pidFile) || process_->hasExited(); }) && !process_->hasExited();
  if (!listening) {
    process_->stop(SIGKILL);
    return false;
  }
  port_ = port;
  return true;
}

std::string NginxServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + (path.starts_with("/") ? "" : "/") + path;
}

std::vector<NginxLogLine> NginxServer::accessLog() const {
  std::vector<NginxLogLine> lines;
  std::istringstream log(readFile(dir_ / "access.log"));
  for (std::string line; std::getline(log, line);) {
    NginxLogLine entry;
    if (parseAccessLine(line, &entry)) {
      lines.push_back(entry);
    }
  }
  return lines;
}

std::vector<NginxLogLine> NginxServer::waitForAccessLog(size_t count) const {
  std::vector<NginxLogLine> lines;
  waitUntil([&] {
    lines = accessLog();
    return lines.size() >= count;
  });
  return lines;
}

int NginxServer::stop() {
  return process_ ? process_->stop(SIGTERM, std::chrono::seconds(5)) : -1;
}

}  // namespace testing_support
