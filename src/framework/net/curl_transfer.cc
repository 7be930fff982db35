#include "framework/net/curl_transfer.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "framework/net/curl_protocols.h"
#include "framework/net/curl_wait.h"
#include "framework/net/proxy_route.h"

namespace fw {

namespace {

using Clock = std::chrono::steady_clock;

struct EasyDeleter {
  const CurlLibrary* curl;
  void operator()(CURL* easy) const { curl->easyCleanup(easy); }
};
struct MultiDeleter {
  const CurlLibrary* curl;
  void operator()(CURLM* multi) const { curl->multiCleanup(multi); }
};
struct ListDeleter {
  const CurlLibrary* curl;
  void operator()(curl_slist* list) const { curl->slistFreeAll(list); }
};

bool isSafeHeaderLine(const std::string& line) {
  return line.find_first_of(std::string("\r\n\0", 3)) == std::string::npos;
}

UrlError::Code errorCodeFor(CURLcode code) {
  switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
      return UrlError::Code::kBadUrl;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
      return UrlError::Code::kCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
      return UrlError::Code::kTimedOut;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
      return UrlError::Code::kSecureConnection;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return UrlError::Code::kNetworkLost;
    default:
      return UrlError::Code::kOther;
  }
}

// One GET through libcurl's multi interface, so that another thread can interrupt its wait.
class Transfer {
 public:
  Transfer(const CurlLibrary& curl, const UrlSessionConfiguration& configuration,
           const ProxyRoute& route, HttpResponse& response, const CurlTransferHooks& hooks)
      : curl_(curl),
        configuration_(configuration),
        route_(route),
        response_(response),
        hooks_(hooks),
        easy_(nullptr, EasyDeleter{&curl}),
        headers_(nullptr, ListDeleter{&curl}) {}

  std::optional<UrlError> run(const std::string& url, const std::vector<std::string>& headerLines);

 private:
  static size_t onHeader(char* data, size_t size, size_t count, void* self);
  static size_t onBody(char* data, size_t size, size_t count, void* self);

  bool configure(const std::string& url, const std::vector<std::string>& headerLines);
  /// The route's proxy and the trust store on the handle; the reason when they cannot be set.
  std::optional<std::string> configureNetwork();
  /// Why no connection was made in time, naming what could not be reached.
  std::string connectTimeoutText(const std::string& detail) const;
  std::optional<UrlError> perform();
  void captureResponse();
  bool report();
  UrlError errorFor(CURLcode code, const std::string& url) const;
  UrlError cancelled(const std::string& url) const {
    return {UrlError::Code::kCancelled, "cancelled", url};
  }

  const CurlLibrary& curl_;
  const UrlSessionConfiguration& configuration_;
  const ProxyRoute& route_;
  HttpResponse& response_;
  const CurlTransferHooks& hooks_;
  std::unique_ptr<CURL, EasyDeleter> easy_;
  std::unique_ptr<curl_slist, ListDeleter> headers_;
  char errorText_[CURL_ERROR_SIZE] = {};
  HttpResponse collected_;  // the fields of the response being received
  bool captured_ = false;
  bool httpsOnly_ = false;  // began on https, and redirects may not leave it
  bool aborted_ = false;
  int writeErrno_ = 0;
  int64_t total_ = 0;
  int64_t pending_ = 0;
  bool reportedOnce_ = false;
  Clock::time_point lastReport_;
  Clock::time_point lastByte_ = Clock::now();
};

std::optional<UrlError> Transfer::run(const std::string& url,
                                      const std::vector<std::string>& headerLines) {
  easy_.reset(curl_.easyInit());
  if (!easy_ || !configure(url, headerLines)) {
    return UrlError{UrlError::Code::kOther, "cannot set up the transfer", url};
  }
  // Not even a redirect lowers a transfer that began on https to plain http, where anyone on
  // the way could change what is fetched. No transfer runs without these rules.
  httpsOnly_ = ::strncasecmp(url.c_str(), "https:", 6) == 0 && !configuration_.followsHttpsToHttp;
  const CURLcode restricted = restrictProtocols(curl_, easy_.get(), curl_.protocolRule, httpsOnly_);
  if (restricted != CURLE_OK) {
    const std::string reason = curl_.protocolRule == ProtocolRule::kNone
                                   ? curl_.protocolRuleError
                                   : curl_.easyStrerror(restricted);
    return UrlError{UrlError::Code::kOther,
                    "cannot restrict the transfer to http and https: " + reason, url};
  }
  if (const std::optional<std::string> problem = configureNetwork()) {
    return UrlError{UrlError::Code::kOther, *problem, url};
  }
  std::optional<UrlError> error = perform();
  if (error) {
    return error;
  }
  if (!captured_) {
    captureResponse();  // an empty body: no data callback came
  }
  if (pending_ > 0 && !report()) {
    return cancelled(url);
  }
  return std::nullopt;
}

bool Transfer::configure(const std::string& url, const std::vector<std::string>& headerLines) {
  CURL* easy = easy_.get();
  for (const std::string& line : headerLines) {
    if (isSafeHeaderLine(line)) {
      curl_slist* extended = curl_.slistAppend(headers_.get(), line.c_str());
      if (extended == nullptr) {
        return false;
      }
      // The list keeps its head once it has one; the first append makes it.
      if (!headers_) {
        headers_.reset(extended);
      }
    }
  }
  const long lowSpeedSeconds = static_cast<long>(configuration_.lowSpeedTime.count());
  const long connectSeconds = static_cast<long>(configuration_.connectTimeout.count());
  return curl_.easySetopt(easy, CURLOPT_URL, url.c_str()) == CURLE_OK &&
         curl_.easySetopt(easy, CURLOPT_FOLLOWLOCATION, 1L) == CURLE_OK &&
         curl_.easySetopt(easy, CURLOPT_MAXREDIRS, configuration_.maxRedirects) == CURLE_OK &&
         curl_.easySetopt(easy, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
         curl_.easySetopt(easy, CURLOPT_CONNECTTIMEOUT, connectSeconds) == CURLE_OK &&
         curl_.easySetopt(easy, CURLOPT_LOW_SPEED_LIMIT, configuration_.lowSpeedLimit) ==
             CURLE_OK &&
         curl_.easySetopt(easy, CURLOPT_LOW_SPEED_TIME, lowSpeedSeconds) == CURLE_OK &&
         curl_.easySetopt(easy, CURLOPT_BUFFERSIZE,
                          static_cast<long>(configuration_.receiveBufferSize)) == CURLE_OK &&
         (configuration_.userAgent.empty() ||
          curl_.easySetopt(easy, CURLOPT_USERAGENT, configuration_.userAgent.c_str()) ==
              CURLE_OK) &&
         curl_.easySetopt(easy, CURLOPT_HTTPHEADER, headers_.get()) == CURLE_OK &&
         curl_.easySetopt(easy, CURLOPT_ERRORBUFFER, errorText_) == CURLE_OK &&
         curl_.easySetopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::onHeader) == CURLE_OK &&
         curl_.easySetopt(easy, CURLOPT_HEADERDATA, this) == CURLE_OK &&
         curl_.easySetopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::onBody) == CURLE_OK &&
         curl_.easySetopt(easy, CURLOPT_WRITEDATA, this) == CURLE_OK;
}

std::optional<std::string> Transfer::configureNetwork() {
  CURL* easy = easy_.get();
  // A proxy that asks for credentials gets them in whichever scheme this libcurl has that the
  // proxy offers (Basic, Digest, NTLM, Negotiate).
  if (curl_.easySetopt(easy, CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_ANY)) !=
      CURLE_OK) {
    return "cannot set up the transfer: CURLOPT_PROXYAUTH";
  }
  // The environment's proxy is libcurl's own to read; the system's is set, direct as "".
  if (route_.origin == ProxyRoute::Origin::kSystem &&
      curl_.easySetopt(easy, CURLOPT_PROXY, route_.proxy.c_str()) != CURLE_OK) {
    return "cannot use the proxy " + withoutCredentials(route_.proxy);
  }
  const TrustStore& trust = configuration_.trust;
  if (!trust.caFile.empty()) {
    const CURLcode code = curl_.easySetopt(easy, CURLOPT_CAINFO, trust.caFile.c_str());
    if (code != CURLE_OK) {
      return "cannot take " + trust.caFileVariable + ": " + curl_.easyStrerror(code);
    }
  }
  if (!trust.caPath.empty()) {
    // Asked of libcurl once, when it was loaded: a TLS library that cannot read a directory of
    // certificates would otherwise trust less than the user named, without a word.
    if (!curl_.caPathError.empty()) {
      return "cannot take " + trust.caPathVariable +
             ": this libcurl cannot read a directory of certificates: " + curl_.caPathError;
    }
    const CURLcode code = curl_.easySetopt(easy, CURLOPT_CAPATH, trust.caPath.c_str());
    if (code != CURLE_OK) {
      return "cannot take " + trust.caPathVariable + ": " + curl_.easyStrerror(code);
    }
  }
  return std::nullopt;
}

std::string Transfer::connectTimeoutText(const std::string& detail) const {
  const std::string within =
      " in time (" + std::to_string(configuration_.connectTimeout.count()) + " s): " + detail;
  if (route_.proxy.empty()) {
    return "the endpoint could not be reached" + within;
  }
  // Connected to the proxy, but not through it.
  double proxySeconds = 0.0;
  curl_.easyGetinfo(easy_.get(), CURLINFO_CONNECT_TIME, &proxySeconds);
  const std::string proxy = withoutCredentials(route_.proxy);
  return proxySeconds == 0.0
             ? "the proxy " + proxy + " could not be reached" + within
             : "the endpoint could not be reached through the proxy " + proxy + within;
}

std::optional<UrlError> Transfer::perform() {
  std::unique_ptr<CURLM, MultiDeleter> multi(curl_.multiInit(), MultiDeleter{&curl_});
  if (!multi) {
    return UrlError{UrlError::Code::kOther, "cannot start the transfer", ""};
  }
  CURLM* rawMulti = multi.get();
  CurlWait waiter(curl_, rawMulti);
  if (!waiter.valid()) {
    return UrlError{UrlError::Code::kOther,
                    std::string("cannot start the transfer: eventfd: ") + std::strerror(errno), ""};
  }
  if (curl_.multiAddHandle(rawMulti, easy_.get()) != CURLM_OK) {
    return UrlError{UrlError::Code::kOther, "cannot start the transfer", ""};
  }
  hooks_.setWaker([&waiter] { waiter.wake(); });
  std::optional<UrlError> error;
  for (;;) {
    int running = 0;
    const CURLMcode status = curl_.multiPerform(rawMulti, &running);
    if (aborted_ || hooks_.isCancelled()) {
      error = cancelled("");
      break;
    }
    if (status != CURLM_OK) {
      error = UrlError{UrlError::Code::kOther, curl_.multiStrerror(status), ""};
      break;
    }
    if (running == 0) {
      int queued = 0;
      const CURLMsg* message = curl_.multiInfoRead(rawMulti, &queued);
      const CURLcode result = message != nullptr ? message->data.result : CURLE_OK;
      if (result != CURLE_OK) {
        error = errorFor(result, "");
      }
      break;
    }
    // libcurl keeps its own time (the low-speed rule): a second at most between looks at the
    // cancel flag, which wakeups make at once anyway.
    waiter.wait(1000);
  }
  hooks_.setWaker({});
  curl_.multiRemoveHandle(rawMulti, easy_.get());
  if (error) {
    // The URL that failed: the last one tried after redirects.
    char* effective = nullptr;
    curl_.easyGetinfo(easy_.get(), CURLINFO_EFFECTIVE_URL, &effective);
    error->failingUrl = effective != nullptr ? effective : "";
  }
  return error;
}

size_t Transfer::onHeader(char* data, size_t size, size_t count, void* self) {
  auto* transfer = static_cast<Transfer*>(self);
  transfer->lastByte_ = Clock::now();
  addHeaderLine(transfer->collected_, std::string_view(data, size * count));
  return size * count;
}

size_t Transfer::onBody(char* data, size_t size, size_t count, void* self) {
  auto* transfer = static_cast<Transfer*>(self);
  const size_t length = size * count;
  transfer->lastByte_ = Clock::now();
  if (!transfer->captured_) {
    transfer->captureResponse();
  }
  transfer->writeErrno_ = transfer->hooks_.storeBody(std::string_view(data, length));
  if (transfer->writeErrno_ != 0) {
    return 0;  // ends the transfer with a write error
  }
  transfer->total_ += static_cast<int64_t>(length);
  transfer->pending_ += static_cast<int64_t>(length);
  const bool due = !transfer->reportedOnce_ || transfer->lastByte_ - transfer->lastReport_ >=
                                                   transfer->configuration_.progressInterval;
  if (due && !transfer->report()) {
    transfer->aborted_ = true;
    return 0;
  }
  return length;
}

void Transfer::captureResponse() {
  captured_ = true;
  long status = 0;
  curl_off_t length = -1;
  curl_.easyGetinfo(easy_.get(), CURLINFO_RESPONSE_CODE, &status);
  curl_.easyGetinfo(easy_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  response_.statusCode = status;
  response_.expectedContentLength = length < 0 ? -1 : static_cast<int64_t>(length);
  response_.headerFields = collected_.headerFields;
  char* effective = nullptr;
  curl_.easyGetinfo(easy_.get(), CURLINFO_EFFECTIVE_URL, &effective);
  response_.url = effective != nullptr ? effective : "";
}

bool Transfer::report() {
  const int64_t bytes = pending_;
  pending_ = 0;
  reportedOnce_ = true;
  lastReport_ = Clock::now();
  return hooks_.onData(bytes, total_, response_.expectedContentLength) && !hooks_.isCancelled();
}

UrlError Transfer::errorFor(CURLcode code, const std::string& url) const {
  if (code == CURLE_WRITE_ERROR && writeErrno_ != 0) {
    return {UrlError::Code::kCannotWriteFile,
            std::string("cannot store the download: ") + std::strerror(writeErrno_), url};
  }
  // A transfer that began on https and fails for its protocol was sent away from https: the
  // failing URL is where it was sent.
  if (code == CURLE_UNSUPPORTED_PROTOCOL && httpsOnly_) {
    return {UrlError::Code::kBadUrl, "redirect away from https refused", url};
  }
  const std::string detail = errorText_[0] != '\0' ? errorText_ : curl_.easyStrerror(code);
  // Out of time before the connection was made (through a proxy, too): as unreachable as a
  // refused one.
  double pretransferSeconds = 0.0;
  if (code == CURLE_OPERATION_TIMEDOUT &&
      curl_.easyGetinfo(easy_.get(), CURLINFO_PRETRANSFER_TIME, &pretransferSeconds) == CURLE_OK &&
      pretransferSeconds == 0.0) {
    return {UrlError::Code::kCannotConnect, connectTimeoutText(detail), url};
  }
  return {errorCodeFor(code), detail, url};
}

}  // namespace

std::optional<UrlError> runCurlTransfer(const CurlLibrary* curl, const std::string& url,
                                        const std::vector<std::string>& headerLines,
                                        const UrlSessionConfiguration& configuration,
                                        HttpResponse& response, const CurlTransferHooks& hooks) {
  std::string loadError;
  curl = curl != nullptr ? curl : curlLibrary(loadError);
  if (curl == nullptr) {
    return UrlError{UrlError::Code::kOther, loadError, url};
  }
  const std::vector<ProxyRoute> routes = proxyRoutesFor(url, configuration.usesSystemProxySettings);
  std::optional<UrlError> error;
  for (const ProxyRoute& route : routes) {
    if (configuration.routeObserver) {
      configuration.routeObserver(url, route);
    }
    Transfer transfer(*curl, configuration, route, response, hooks);
    error = transfer.run(url, headerLines);
    // The next proxy of the system's list only when this one could not be reached: that is
    // what the list means. Nothing of the response has come then.
    if (!error || error->code != UrlError::Code::kCannotConnect || hooks.isCancelled()) {
      break;
    }
  }
  if (error && error->failingUrl.empty()) {
    error->failingUrl = url;
  }
  return error;
}

}  // namespace fw
