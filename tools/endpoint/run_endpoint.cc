#include "endpoint/run_endpoint.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <thread>

#include "endpoint/endpoint_server.h"

namespace endpoint {

namespace {

bool writePortFile(const std::string& path, int port, std::string* error) {
  const std::string temporary = path + ".tmp." + std::to_string(::getpid());
  {
    std::ofstream file(temporary, std::ios::trunc);
    file << port << "\n";
    if (!file.flush()) {
      *error = "write(" + temporary + ") failed";
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "rename(" + temporary + ", " + path + ") failed";
    (void)std::remove(temporary.c_str());
    return false;
  }
  return true;
}

// Takes the stop signals (blocked in every thread) until one arrives, then stops the server;
// gives up once `done` is set. The short timeout lets it notice `done` without a signal.
void stopOnSignal(const sigset_t& signals, EndpointServer& server, const std::atomic<bool>& done) {
  const timespec step = {0, 50L * 1000 * 1000};  // 50 ms
  while (!done) {
    if (sigtimedwait(&signals, nullptr, &step) > 0) {
      server.stop();
      return;
    }
  }
}

}  // namespace

int runEndpoint(const EndpointOptions& options) {
  // Block the stop signals before any thread starts: every thread inherits the mask, and only
  // the waiter below takes them, so no server call ever sees EINTR.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  (void)std::signal(SIGPIPE, SIG_IGN);

  EndpointServer server(options);
  std::string error;
  const int port = server.bind(&error);
  if (port < 0 || (!options.portFile.empty() && !writePortFile(options.portFile, port, &error))) {
    (void)std::fprintf(stderr, "bi-endpoint: %s\n", error.c_str());
    return 1;
  }
  (void)std::printf("%d\n", port);
  (void)std::fflush(stdout);

  std::atomic<bool> served{false};
  std::thread waiter(stopOnSignal, std::cref(stopSignals), std::ref(server), std::cref(served));
  const bool ok = server.serve();
  served = true;
  waiter.join();
  if (!ok) {
    (void)std::fprintf(stderr, "bi-endpoint: accepting connections on port %d failed\n", port);
    return 1;
  }
  return 0;
}

}  // namespace endpoint
