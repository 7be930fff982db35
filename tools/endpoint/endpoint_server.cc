#include "endpoint/endpoint_server.h"

#include <httplib.h>
#include <sys/socket.h>

#include <charconv>
#include <optional>
#include <thread>

#include "endpoint/body_stream.h"
#include "endpoint/content_file.h"
#include "endpoint/if_none_match.h"

namespace endpoint {

namespace {

constexpr const char* kHost = "127.0.0.1";
constexpr const char* kRedirectPrefix = "/redirect/";

// The Location for a request target "/redirect/N/<rest>" with N > 0; nullopt for any other.
std::optional<std::string> redirectLocation(const std::string& target) {
  if (!target.starts_with(kRedirectPrefix)) {
    return std::nullopt;
  }
  const size_t digits = std::char_traits<char>::length(kRedirectPrefix);
  const size_t slash = target.find('/', digits);
  uint64_t hops = 0;
  const char* end = target.data() + (slash == std::string::npos ? target.size() : slash);
  const auto [next, failure] = std::from_chars(target.data() + digits, end, hops);
  if (slash == std::string::npos || failure != std::errc() || next != end || hops == 0) {
    return std::nullopt;
  }
  return kRedirectPrefix + std::to_string(hops - 1) + target.substr(slash);
}

// All If-None-Match fields of the request as one list; empty when there is none.
std::string ifNoneMatchOf(const httplib::Request& request) {
  std::string joined;
  const size_t count = request.get_header_value_count("If-None-Match");
  for (size_t i = 0; i < count; ++i) {
    joined += (i > 0 ? ", " : "") + request.get_header_value("If-None-Match", i);
  }
  return joined;
}

bool statusAllowsBody(int status) {
  return status >= 200 && status != 204 && status != 304;
}

// httplib's default also sets SO_REUSEPORT, which would let a second server share the port.
void reuseAddressOnly(int socket) {
  const int yes = 1;
  ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof(yes));
}

}  // namespace

EndpointServer::EndpointServer(EndpointOptions options) : options_(std::move(options)) {
  if (options_.tls()) {
    server_ =
        std::make_unique<httplib::SSLServer>(options_.tlsCert.c_str(), options_.tlsKey.c_str());
  } else {
    server_ = std::make_unique<httplib::Server>();
  }
  server_->set_socket_options(reuseAddressOnly);
  // Short idle waits keep stopping quick: httplib checks for the stop between requests only.
  server_->set_keep_alive_timeout(1);
  server_->set_read_timeout(2);
  server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    handle(request, response);
  });
  server_->set_logger([this](const httplib::Request& request, const httplib::Response& response) {
    logFinished(request, response);
  });
}

EndpointServer::~EndpointServer() = default;

int EndpointServer::bind(std::string* error) {
  if (!options_.logFile.empty() && !log_.open(options_.logFile, error)) {
    return -1;
  }
  if (!server_->is_valid()) {
    *error = "cannot use TLS certificate " + options_.tlsCert + " with key " + options_.tlsKey;
    return -1;
  }
  int port = options_.port;
  if (port == 0) {
    port = server_->bind_to_any_port(kHost);
  } else if (!server_->bind_to_port(kHost, port)) {
    port = -1;
  }
  if (port <= 0) {
    *error = "cannot listen on " + std::string(kHost) + ":" + std::to_string(options_.port);
    return -1;
  }
  return port;
}

bool EndpointServer::serve() {
  std::atomic<bool> served{false};
  // httplib's stop() acts only once listening has begun and must be called once; so a helper
  // waits for both the request to stop and the listening.
  std::thread stopper([this, &served] {
    while (!served) {
      if (stopping_ && server_->is_running()) {
        server_->stop();
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  const bool ok = stopping_ || server_->listen_after_bind();
  served = true;
  stopper.join();
  return ok;
}

void EndpointServer::handle(const httplib::Request& request, httplib::Response& response) {
  if (const std::optional<std::string> location =
          options_.redirectTo.empty() ? redirectLocation(request.target) : options_.redirectTo) {
    response.set_redirect(*location, 302);
    remember(response, nullptr);
    return;
  }
  serveContent(request, response);
}

void EndpointServer::serveContent(const httplib::Request& request, httplib::Response& response) {
  ContentFile file;
  std::string tag;
  const std::string& path = !options_.signature.empty() && request.path.ends_with(".minisig")
                                ? options_.signature
                                : options_.contentPath();
  if (!path.empty()) {
    file = ContentFile(path);
    if (!file.isOpen()) {
      response.status = 404;
      remember(response, nullptr);
      return;
    }
    if (!options_.noEtag) {
      tag = tags_.tagOf(file.fd(), file.info());
    }
  }
  if (!tag.empty()) {
    response.set_header("ETag", tag);
    if (!options_.status && !options_.ignoreIfNoneMatch &&
        ifNoneMatchMatches(ifNoneMatchOf(request), tag)) {
      response.status = 304;
      // The length a 200 would announce; otherwise httplib would add "Content-Length: 0".
      response.set_header("Content-Length", std::to_string(file.size()));
      remember(response, nullptr);
      return;
    }
  }
  // Without --status httplib picks 200, or 206 for a range it cuts from the provider.
  if (options_.status) {
    response.status = *options_.status;
  }
  BodyPlan plan;
  const bool withBody = !options_.emptyBody && statusAllowsBody(options_.status.value_or(200));
  plan.contentSize = withBody ? file.size() : 0;
  if (options_.cutAfter) {
    plan.sendLimit = *options_.cutAfter;
  }
  if (options_.stallAfter) {
    plan.sendLimit = *options_.stallAfter;
    plan.stallAtLimit = true;
  }
  plan.rate = options_.rate;
  const uint64_t announced = plan.contentSize + options_.announceExtra;
  const auto stream = std::make_shared<BodyStream>(std::move(file), plan, stopping_);
  remember(response, stream);
  const std::string type =
      options_.bodyFile.empty() ? "application/zip" : "application/octet-stream";
  if (options_.noLength) {
    response.set_chunked_content_provider(type, [stream](size_t offset, httplib::DataSink& sink) {
      return stream->provideChunked(offset, sink);
    });
  } else if (announced > 0) {
    response.set_content_provider(announced, type,
                                  [stream](size_t offset, size_t length, httplib::DataSink& sink) {
                                    return stream->provide(offset, length, sink);
                                  });
  }
}

void EndpointServer::remember(const httplib::Response& response,
                              std::shared_ptr<const BodyStream> stream) {
  const std::lock_guard<std::mutex> lock(streamsMutex_);
  streams_[&response] = std::move(stream);
}

void EndpointServer::logFinished(const httplib::Request& request,
                                 const httplib::Response& response) {
  LoggedRequest entry;
  entry.method = request.method;
  entry.path = request.path;
  entry.ifNoneMatch = ifNoneMatchOf(request);
  entry.status = response.status;
  {
    const std::lock_guard<std::mutex> lock(streamsMutex_);
    const auto found = streams_.find(&response);
    if (found == streams_.end()) {
      // httplib answered on its own (a malformed request, another method): a plain body.
      entry.bodyBytes = request.method == "HEAD" ? 0 : response.body.size();
    } else {
      entry.bodyBytes = found->second ? found->second->bodyBytes() : 0;
      streams_.erase(found);
    }
  }
  log_.append(entry);
}

}  // namespace endpoint
