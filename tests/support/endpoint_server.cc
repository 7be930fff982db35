#include "support/endpoint_server.h"

#include <algorithm>
#include <sstream>
#include <stdexcept>

#include "support/files.h"

namespace testing_support {

namespace {

// Splits `<method> <path> inm=<value> status=<code> body_bytes=<n>`; the value may hold blanks,
// the other fields never do. False for a line of another shape.
bool parseLogLine(const std::string& line, EndpointLogLine* entry) {
  const size_t pathStart = line.find(' ');
  const size_t inmStart = line.find(" inm=", pathStart == std::string::npos ? 0 : pathStart);
  const size_t statusStart = line.rfind(" status=");
  const size_t bytesStart = line.rfind(" body_bytes=");
  if (pathStart == std::string::npos || inmStart == std::string::npos ||
      statusStart == std::string::npos || bytesStart == std::string::npos ||
      !(pathStart < inmStart && inmStart < statusStart && statusStart < bytesStart)) {
    return false;
  }
  entry->method = line.substr(0, pathStart);
  entry->path = line.substr(pathStart + 1, inmStart - pathStart - 1);
  entry->inm = line.substr(inmStart + 5, statusStart - inmStart - 5);
  try {
    entry->status = std::stoi(line.substr(statusStart + 8, bytesStart - statusStart - 8));
    entry->bodyBytes = std::stoull(line.substr(bytesStart + 12));
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

}  // namespace

const char* endpointProgram() {
  return BI_ENDPOINT_PATH;
}

EndpointServer::EndpointServer(const std::string& archive,
                               const std::vector<std::string>& extraArgs) {
  const std::string portFile = dir_ / "port";
  std::vector<std::string> args = {
      endpointProgram(), "--port", "0", "--port-file", portFile, "--log", dir_ / "requests.log"};
  if (!archive.empty()) {
    args.insert(args.end(), {"--archive", archive});
  }
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  tls_ = std::find(extraArgs.begin(), extraArgs.end(), "--tls-cert") != extraArgs.end();
  process_ = std::make_unique<BackgroundProcess>(endpointProgram(), args, dir_ / "stdout",
                                                 dir_ / "stderr");
  // The port file appears, complete, by rename once the server listens.
  const bool listening =
      waitUntil([&] { return exists(portFile) || process_->hasExited(); }) && exists(portFile);
  if (!listening) {
    const int status = process_->stop(SIGKILL);
    throw std::runtime_error("bi-endpoint did not start (status " + std::to_string(status) +
                             "): " + errorOutput());
  }
  port_ = std::stoi(readFile(portFile));
}

EndpointServer::~EndpointServer() {
  stop();
}

std::string EndpointServer::url(const std::string& path) const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) +
         (path.starts_with("/") ? "" : "/") + path;
}

std::vector<EndpointLogLine> EndpointServer::logLines() const {
  std::vector<EndpointLogLine> lines;
  std::istringstream log(readFile(dir_ / "requests.log"));
  for (std::string line; std::getline(log, line);) {
    EndpointLogLine entry;
    if (parseLogLine(line, &entry)) {
      lines.push_back(entry);
    }
  }
  return lines;
}

std::vector<EndpointLogLine> EndpointServer::waitForLogLines(size_t count) const {
  std::vector<EndpointLogLine> lines;
  waitUntil([&] {
    lines = logLines();
    return lines.size() >= count;
  });
  return lines;
}

int EndpointServer::stop() {
  return process_->stop(SIGTERM, std::chrono::seconds(5));
}

std::string EndpointServer::errorOutput() const {
  return readFile(dir_ / "stderr");
}

}  // namespace testing_support
