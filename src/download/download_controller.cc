#include "download/download_controller.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include "bootstrap/report.h"
#include "download/display_text.h"
#include "download/download_bridge.h"
#include "download/named_blanks.h"
#include "download/progress_text.h"
#include "framework/net/byte_ranges.h"
#include "framework/net/system_proxies.h"
#include "framework/net/trust_environment.h"
#include "framework/os/main_bundle.h"
#include "framework/os/message_locale.h"
#include "framework/os/paths.h"
#include "framework/os/system_log.h"
#include "platform/install_locations.h"
#include "provisioning/agent_signature.h"
#include "provisioning/cache_install.h"
#include "provisioning/cache_validation.h"
#include "provisioning/freshness.h"
#include "provisioning/kept_archive.h"
#include "provisioning/partial_download.h"
#include "provisioning/update_assembly.h"
#include "provisioning/zip_directory.h"

namespace {

// A status of 400 or more is a failure.
constexpr long kFirstFailingStatus = 400;
constexpr long kNotModified = 304;
constexpr long kPartialContent = 206;
constexpr long kRangeNotSatisfiable = 416;
constexpr double kSplashSize = 400.0;
constexpr double kDelayedCloseSeconds = 3.0;
// How often the detail line is said anew: often enough to see the bytes come in, seldom enough
// for the line to be read. On a timer, not at each piece of data: a fast download pays nothing.
constexpr double kDetailIntervalSeconds = 0.25;

// The window's words, said in the user's language where they are shown (fw::localized()); the
// log lines stay English.
const char* const kDownloadingText = fw::translatable("Downloading");
const char* const kInstallingText = fw::translatable("Initializing the installer");
const char* const kUnzipFailedText = fw::translatable("Failed to unzip the installer.");
const char* const kNotInPlaceText = fw::translatable("Failed to put the installer in place.");
const char* const kNotVerifiedText = fw::translatable("The download could not be verified.");
const char* const kCloseTitle = fw::translatable("Close");
// A signature file is a few hundred bytes; a body much larger is none.
constexpr size_t kMaxSignatureSize = size_t{64} * 1024;
const char* const kTransferFailedText = fw::translatable(
    // TRANSLATORS: two lines, each no longer than these: the window does not grow.
    "Error during the download process.\nSee the log in Console app for more information.");

// The answers of a server that is down or overloaded, not of one that refuses the request.
bool isOutageStatus(long status) {
  return status == 500 || status == 502 || status == 503 || status == 504;
}

std::string statusFailureText(long status) {
  // TRANSLATORS: {code} is the server's HTTP status, such as 404.
  return fillBlanks(fw::localized("Download failed with error code {code}"),
                    {{"code", std::to_string(status)}});
}

// Long enough for a slow or lossy link's handshake (TCP resends a lost SYN after 1, 3 and 7 s,
// and a satellite link's TLS takes a few round trips of 600 ms), short enough that nobody waits
// long for what the cache already holds, nor twice that long for a failure when the system's
// settings name a second proxy.
constexpr std::chrono::seconds kConnectTimeout{15};

// This program's downloads: followed through at most 16 redirects (as widely used downloaders
// do), never from https down to plain http, under the program's own name; abandoned when less
// than a byte a second arrives over a minute, or when no connection is made in time; through
// the proxies that the environment, else the desktop's settings, name; trusting what the
// environment names as the curl tool does; in temporary files named as the program's others.
fw::UrlSessionConfiguration sessionConfiguration(const fw::TrustStore& trust) {
  fw::UrlSessionConfiguration configuration =
      fw::UrlSessionConfiguration::defaultSessionConfiguration();
  configuration.maxRedirects = 16;
  configuration.followsHttpsToHttp = false;
  configuration.userAgent = "bootstrap-installer";
  configuration.lowSpeedLimit = 1;
  configuration.lowSpeedTime = std::chrono::seconds(60);
  configuration.connectTimeout = kConnectTimeout;
  // Outside a desktop session its settings are none, and libproxy with its plugins (a JavaScript
  // engine among them) would cost a run from the cache twice its time and memory.
  configuration.usesSystemProxySettings = fw::inDesktopSession();
  configuration.trust = trust;
  configuration.temporaryFilePrefix = "zrdl";
  return configuration;
}

// The log line for a route a transfer takes; empty where there is nothing to say (direct).
std::string routeLine(const std::string& url, const fw::ProxyRoute& route) {
  if (!route.problem.empty()) {
    return "No desktop proxy settings: " + route.problem + "; the environment alone decides";
  }
  if (route.proxy.empty()) {
    return "";
  }
  const std::string origin = route.origin == fw::ProxyRoute::Origin::kSystem
                                 ? "the desktop's proxy settings"
                                 : route.variable;
  return "Using the proxy " + displayText(fw::withoutCredentials(route.proxy)) + " (" + origin +
         ") for " + displayText(url);
}

}  // namespace

Download::Download(fw::Application& application, const Outlets& outlets)
    : application_(application),
      progress_(outlets.progress),
      image_(outlets.image),
      downloadPercent_(outlets.downloadPercent),
      window_(outlets.window),
      cancel_(outlets.cancel),
      detail_(outlets.detail) {}

Download::~Download() {
  // The session's worker calls back into this object, and uses urlSession_: end it while
  // everything is still in place.
  if (urlSession_) {
    urlSession_->invalidateAndWait();
  }
  for (const auto& session : replacedSessions_) {
    session->invalidateAndWait();
  }
}

void Download::init() {
  progress_->setDoubleValue(0.0);
  progress_->setMaxValue(100.0);
  progress_->setUsesThreadedAnimation(true);
  downloadPercent_->setUsesSingleLineMode(true);
  downloadPercent_->setStringValue(fw::localized(kDownloadingText));
  installAgentLocation_ = downloadTo;
  cancel_->setKeyEquivalent("\r");
}

void Download::applicationDidFinishLaunching() {
  const auto bundle = fw::mainBundle();
  if (!bundle) {
    return;
  }
  if (!bundle->resourcePath.empty() &&
      fw::fileExistsAtPath(fw::appendPathComponent(bundle->resourcePath, "splash.png"))) {
    if (const std::shared_ptr<fw::Image> splash = fw::Image::imageNamed("splash")) {
      image_->setImageScaling(fw::ImageScaling::kProportionallyUpOrDown);
      image_->setEditable(false);
      splash->setSize(kSplashSize, kSplashSize);
      image_->setImage(splash);
      window_->layoutIfNeeded();
      window_->setViewsNeedDisplay(true);
    }
  }
  downloadFromURL(downloadFrom);
}

void Download::windowWillClose() {
  windowClosed_.store(true);
  if (theDownload_) {
    theDownload_->cancel();
  }
  if (urlSession_) {
    urlSession_->invalidateAndCancel();
  }
  application_.stop();
}

void Download::downloadFromURL(const std::string& url) {
  if (urlSession_) {
    // Destroying it here could wait for its worker, which may be waiting for this thread.
    urlSession_->invalidateAndCancel();
    replacedSessions_.push_back(std::move(urlSession_));
  }
  std::string trustProblem;
  const std::optional<fw::TrustStore> trust = fw::trustFromEnvironment(trustProblem);
  if (!trust) {
    fw::systemLog("Download failed! Error - " + displayText(trustProblem) + " " + displayText(url));
    failure(fw::localized(kTransferFailedText), fw::Color::kRed);
    return;
  }
  fw::UrlSessionConfiguration configuration = sessionConfiguration(*trust);
  configuration.routeObserver = [this](const std::string& to, const fw::ProxyRoute& route) {
    const std::string line = routeLine(to, route);
    // Said once a run: the signature's fetch would say it again.
    if (!line.empty() && (route.problem.empty() || !proxyProblemLogged_.exchange(true))) {
      fw::systemLog(line);
    }
  };
  // The body goes beside the cache, on its file system: the temporary-files directory is often
  // a small one in memory.
  configuration.bodyDirectory = getInstallAgentCacheDir();
  urlSession_ = std::make_unique<fw::UrlSession>(configuration, this);
  const auto bundle = fw::mainBundle();
  anchor_ = readTrustAnchor(bundle ? bundle->resourcePath : "");
  if (anchor_.required && anchor_.keys.empty()) {
    // A broken key file trusts nothing: no download could be run.
    fw::systemLog("Download not verified! installAgentKey.pub: " + anchor_.problem);
    failure(fw::localized(kNotVerifiedText), fw::Color::kRed);
    return;
  }
  // A cached install agent with its validation string lets the server answer 304, no body.
  const std::string cacheDir = getInstallAgentCacheDir();
  std::vector<std::string> headerLines;
  sentValidationString_ = cachedValidationString(cacheDir, anchor_.keyIds());
  if (!sentValidationString_.empty()) {
    headerLines.push_back("If-None-Match: " + sentValidationString_);
  }
  // What an earlier transfer left of this archive is kept: only the rest is asked for, and only
  // while the server's archive is still the one that it is the start of.
  PartialDownload partial = takePartialDownload(cacheDir, url, resumes_);
  ownsPartial_ = static_cast<bool>(partial.file);
  keptBytes_ = partial.keptBytes;
  if (keptBytes_ > 0) {
    headerLines.push_back("Range: bytes=" + std::to_string(keptBytes_) + "-");
    headerLines.push_back("If-Range: " + partial.etag);
  }
  // With an install agent cached and its archive kept, only the end of the server's archive is
  // asked for: a 304 still says that the cache is current, and a new archive's end is its
  // directory, from which an update takes from the kept archive what did not change.
  updating_ = ownsPartial_ && keptBytes_ == 0 && resumes_ && !sentValidationString_.empty() &&
              fw::regularFileExistsAtPath(keptArchivePath(cacheDir));
  if (updating_) {
    headerLines.push_back("Range: bytes=-" + std::to_string(kEndSearchLength));
  }
  reused_ = updating_ ? "update assembled from the kept archive" : "resumed download";
  requestedUrl_ = url;
  ++attempt_;
  firstDataDone_ = false;
  firstPiece_ = true;
  theDownload_ = urlSession_->downloadTaskWithURL(url, headerLines);
  if (anchor_.required) {
    // The archive is hashed as it arrives, the kept bytes first: checking its signature costs no
    // second pass over it, and a resumed archive is trusted exactly as a whole one.
    hasher_.emplace();
    if (!hashKeptBytes(partial.file.get())) {
      keptBytes_ = 0;  // unreadable: nothing is resumed, the request asks for all of it
      headerLines.resize(headerLines.size() - 2);
      theDownload_ = urlSession_->downloadTaskWithURL(url, headerLines);
    }
    theDownload_->setBodyObserver([this](std::string_view piece) {
      // Anything but the rest of the kept bytes starts the archive anew.
      if (std::exchange(firstPiece_, false) && theDownload_->response().statusCode != 206) {
        hasher_.emplace();
      }
      hasher_->update(piece);
    });
  }
  if (ownsPartial_) {
    theDownload_->setBodyFile(
        std::move(partial.file), keptBytes_,
        updating_ ? fw::RangePlacement::kAtRanges : fw::RangePlacement::kAfterKept);
  }
  requestTime_ = std::time(nullptr);
  theDownload_->resume();
}

bool Download::hashKeptBytes(int fd) {
  std::string buffer(size_t{1} << 20, '\0');
  for (int64_t offset = 0; offset < keptBytes_;) {
    const ssize_t count =
        ::pread(fd, buffer.data(),
                static_cast<size_t>(std::min<int64_t>(keptBytes_ - offset, 1 << 20)), offset);
    if (count <= 0) {
      hasher_.emplace();
      return false;
    }
    hasher_->update(std::string_view(buffer.data(), static_cast<size_t>(count)));
    offset += count;
  }
  return true;
}

bool Download::assembleUpdate(const std::string& location) {
  const fw::UniqueFd file(::open(location.c_str(), O_RDWR | O_CLOEXEC));
  const FetchRanges fetch = [&](const std::vector<std::pair<uint64_t, uint64_t>>& ranges,
                                std::string* why) { return fetchRanges(file.get(), ranges, why); };
  uint64_t fetched = tailLength_;
  std::string why = std::strerror(errno);
  if (!file || fileLength_ <= 0 ||
      !assembleFromKept(file.get(), static_cast<uint64_t>(fileLength_), tailLength_,
                        keptArchivePath(getInstallAgentCacheDir()), fetch, &fetched, &why)) {
    downloadWholeOnce("The update could not be assembled from the kept archive (" +
                      displayText(why) + ")");
    return false;
  }
  fw::systemLog("Update assembled from the kept archive, " + std::to_string(fetched) + " of " +
                std::to_string(fileLength_) + " bytes fetched: " + displayText(requestedUrl_));
  // Checked as a whole download is; should a check fail, the archive is fetched whole, once.
  keptBytes_ = fileLength_;
  if (anchor_.required) {
    hasher_.emplace();  // what the observer saw was only the archive's end
  }
  if (anchor_.required && !hashKeptBytes(file.get())) {
    downloadWholeOnce("The update assembled from the kept archive cannot be read");
    return false;
  }
  return true;
}

bool Download::fetchRanges(int fd, const std::vector<std::pair<uint64_t, uint64_t>>& ranges,
                           std::string* why) {
  fw::HttpResponse response;
  const std::optional<fw::UrlError> error = urlSession_->fetchInto(
      requestedUrl_,
      {"Range: " + fw::rangeHeaderValue(ranges), "If-Range: " + validationString_.value_or("")}, fd,
      &response);
  if (error) {
    *why = error->localizedDescription;
    return false;
  }
  // A server that sends the archive whole instead sent the one planned with, or another.
  if (response.statusCode == 200) {
    *why = "the server sent another archive";
    return response.valueForHeaderField("ETag") == validationString_;
  }
  if (response.statusCode != kPartialContent) {
    *why = "status " + std::to_string(response.statusCode);
    return false;
  }
  // Several ranges answered with one: the ranges that it does not hold, one a request.
  const std::optional<std::string> type = response.valueForHeaderField("Content-Type");
  if (ranges.size() == 1 || (type && fw::byterangesBoundary(*type))) {
    return true;
  }
  const std::optional<std::string> value = response.valueForHeaderField("Content-Range");
  const std::optional<fw::ContentRange> sent = value ? fw::parseContentRange(*value) : std::nullopt;
  return std::ranges::all_of(ranges, [&](const std::pair<uint64_t, uint64_t>& range) {
    const bool held = sent && range.first >= sent->first && range.second <= sent->last;
    return held || fetchRanges(fd, {range}, why);
  });
}

void Download::downloadWholeOnce(const std::string& why) {
  fw::systemLog(why + "; downloading it whole: " + displayText(requestedUrl_));
  resumes_ = false;
  dropPartialDownload(getInstallAgentCacheDir());
  theDownload_->cancel();
  onMainThread([this] {
    cancel_->setEnabled(true);
    progress_->stopAnimation();
    downloadPercent_->setStringValue(fw::localized(kDownloadingText));
    downloadFromURL(requestedUrl_);
  });
}

void Download::failure(const std::string& message, fw::Color color) {
  // First: each change below may be drawn at once, and none with the transfer's detail.
  detailShown_ = false;
  detail_->setStringValue("");
  cancel_->setTitle(fw::localized(kCloseTitle));
  // The installing display disabled it: a window whose only button stays off could not be
  // dismissed on a terminal, nor on a desktop without a window manager.
  cancel_->setEnabled(true);
  progress_->stopAnimation();
  progress_->setIndeterminate(false);
  progress_->setDoubleValue(progress_->maxValue());
  downloadPercent_->setStringValue(message);
  downloadPercent_->setTextColor(color);
  window_->layoutIfNeeded();
  // A failure waits for the person: it is on screen now, even early in a run.
  window_->display();
  if (!window_->canUserClose()) {
    // Nobody could ever close this window: it closes itself once the failure is on screen.
    application_.runLoop().addTimer(0, [this] { window_->close(); });
  }
}

void Download::didWriteData(fw::DownloadTask& /*task*/, int64_t bytesWritten,
                            int64_t /*totalBytesWritten*/, int64_t /*totalBytesExpectedToWrite*/) {
  if (!firstDataDone_) {
    firstDataDone_ = true;
    if (firstData()) {
      return;
    }
  }
  progressUpdate(bytesWritten);
}

bool Download::firstData() {
  responseTime_ = std::time(nullptr);
  const fw::HttpResponse& response = theDownload_->response();
  const long status = response.statusCode;
  if (isOutageStatus(status) && rideOutOutage("status " + std::to_string(status))) {
    return true;
  }
  if (status == kRangeNotSatisfiable && keptBytes_ > 0) {
    downloadWholeOnce("The kept start of the download does not fit the archive");
    return true;
  }
  if (status >= kFirstFailingStatus) {
    fw::systemLog("Download failed with http error code- " + std::to_string(status));
    onMainThread([&] {
      failure(statusFailureText(status), fw::Color::kRed);
      window_->layoutIfNeeded();
    });
    theDownload_->cancel();
    urlSession_->invalidateAndCancel();
    return true;
  }
  validationString_ = response.valueForHeaderField("ETag");
  if (!validationString_ && status == kNotModified && !sentValidationString_.empty()) {
    validationString_ = sentValidationString_;  // "not modified" from what we sent
  }
  fileLength_ = response.expectedContentLength;
  if (status == kPartialContent) {
    // The rest of the kept bytes, or a new archive's end: the bar starts where the kept bytes
    // end, at the archive's whole length.
    const std::optional<std::string> range = response.valueForHeaderField("Content-Range");
    const std::optional<fw::ContentRange> parsed =
        range ? fw::parseContentRange(*range) : std::nullopt;
    fileLength_ = parsed && parsed->complete ? static_cast<int64_t>(*parsed->complete) : -1;
    tailLength_ = parsed ? parsed->last - parsed->first + 1 : 0;
    if (!updating_) {
      fw::systemLog("Resuming the download after " + std::to_string(keptBytes_) + " of " +
                    std::to_string(fileLength_) + " bytes: " + displayText(requestedUrl_));
    }
  } else {
    keptBytes_ = 0;  // a whole body: what was kept goes
    updating_ = false;
  }
  const std::string cacheDir = getInstallAgentCacheDir();
  if (ownsPartial_) {
    // An update's file has holes until it is assembled: nothing there to resume.
    recordPartialDownload(cacheDir, requestedUrl_, updating_ ? std::nullopt : validationString_,
                          fileLength_);
  }
  if (keepCachedInstallAgentIfCurrent(cacheDir, validationString_, anchor_.keyIds())) {
    // The server's word on how long this holds: the next runs may not need to ask.
    writeFreshnessRecord(cacheDir, freshnessRecord(readSigner(cacheDir)));
    handOverCachedInstallAgent();
    return true;
  }
  onMainThread([&] {
    progress_->setDoubleValue(static_cast<double>(keptBytes_));
    if (fileLength_ != -1) {
      progress_->setMaxValue(static_cast<double>(fileLength_));
      progress_->setIndeterminate(false);
    } else {
      progress_->setIndeterminate(true);
    }
    received_ = keptBytes_;
    rate_ = RateEstimate();
    if (!detailShown_) {
      detailShown_ = true;
      showDetail();
    }
  });
  return false;
}

void Download::handOverCachedInstallAgent() {
  if (ownsPartial_ && keptBytes_ == 0) {
    dropPartialDownload(getInstallAgentCacheDir());  // taken for a download that is not needed
  }
  installAgentLocation_ = installAgentDirOnDisk();
  application_.setExitStatus(1);
  theDownload_->cancel();
  urlSession_->invalidateAndCancel();
  onMainThread([&] { window_->close(); });
}

bool Download::rideOutOutage(const std::string& why) {
  if (!keepCachedInstallAgentIfReusable(getInstallAgentCacheDir(), requestedUrl_, anchor_.keyIds(),
                                        Reuse::kStaleIfError)) {
    return false;
  }
  fw::systemLog("Could not reach the download endpoint, using the cached install agent: " +
                displayText(why) + " " + displayText(requestedUrl_));
  handOverCachedInstallAgent();
  return true;
}

std::string Download::freshnessRecord(const std::string& signer) const {
  std::optional<Freshness> freshness =
      freshnessOf(theDownload_->response(), requestTime_, responseTime_);
  if (!freshness || !validationString_) {
    return "";
  }
  freshness->url = requestedUrl_;
  freshness->validationString = *validationString_;
  freshness->signer = signer;
  return toRecordText(*freshness);
}

void Download::progressUpdate(int64_t bytes) {
  onMainThread([&] {
    downloadPercent_->setStringValue(fw::localized(kDownloadingText));
    progress_->incrementBy(static_cast<double>(bytes));
    received_ += bytes;
    window_->layoutIfNeeded();
    window_->setViewsNeedDisplay(true);
  });
}

void Download::showDetail() {
  if (!detailShown_) {
    return;
  }
  rate_.add(received_, RateEstimate::Clock::now());
  detail_->setStringValue(progressText(received_, fileLength_, rate_.secondsLeft(fileLength_)));
  application_.runLoop().addTimer(kDetailIntervalSeconds, [this] { showDetail(); });
}

void Download::didFinishDownloadingTo(fw::DownloadTask& /*task*/, const std::string& location) {
  const long status = theDownload_->response().statusCode;
  if (!firstDataDone_ && isOutageStatus(status) &&
      rideOutOutage("status " + std::to_string(status))) {
    return;
  }
  if (status >= kFirstFailingStatus) {
    onMainThread([&] {
      char code[32];
      (void)std::snprintf(code, sizeof code, "%3.0f", static_cast<double>(status));
      fw::systemLog(std::string("Download failed! Error code- ") + code);
      failure(statusFailureText(status), fw::Color::kRed);
      window_->layoutIfNeeded();
      window_->setViewsNeedDisplay(true);
    });
    return;
  }
  if (!firstDataDone_) {
    firstDataDone_ = true;  // a body without any data report: an empty one
    if (firstData()) {
      return;
    }
  }
  if (updating_ && !assembleUpdate(location)) {
    return;
  }
  const std::string cacheDir = getInstallAgentCacheDir();
  struct stat archive {};
  const int64_t size = ::stat(location.c_str(), &archive) == 0 ? archive.st_size : -1;
  // Whole now, whatever comes of it: nothing to resume any more. Kept for the next update when
  // its install agent takes its place, and when it may stay.
  keepsArchive_ = ownsPartial_ && mayKeepArchive(cacheDir, size);
  if (ownsPartial_) {
    recordPartialDownload(cacheDir, requestedUrl_, std::nullopt, 0);
  }
  const int attempt = attempt_;
  std::string signer;
  bool installed = !anchor_.required || verifyArchive(&signer);
  if (installed) {
    installingDisplay();
    installed = installIntoCache(location, signer);
  }
  if (attempt != attempt_) {
    return;  // a new attempt has taken over, the partial with it
  }
  if (ownsPartial_) {
    if (installed) {
      keepInstalledArchive(cacheDir, size);
    } else {
      dropPartialDownload(cacheDir);
    }
  }
  if (installed) {
    installAgentLocation_ = installAgentDirOnDisk();
    application_.setExitStatus(1);
    onMainThread([&] {
      application_.runLoop().addTimer(kDelayedCloseSeconds, [this] { window_->close(); });
    });
    application_.stop();
  }
}

void Download::installingDisplay() {
  onMainThread([&] {
    // The detail goes first: the new status is drawn at once, and must not come with the old.
    detailShown_ = false;
    detail_->setStringValue("");
    downloadPercent_->setStringValue(fw::localized(kInstallingText));
    progress_->setIndeterminate(true);
    progress_->startAnimation();
    cancel_->setEnabled(false);
    window_->setViewsNeedDisplay(true);
    window_->layoutIfNeeded();
  });
}

bool Download::verifyArchive(std::string* signer) {
  const std::string url = signatureUrl(theDownload_->response().url);
  fw::HttpResponse response;
  std::string signature;
  std::string cause;
  const std::optional<fw::UrlError> error =
      urlSession_->fetchSmall(url, kMaxSignatureSize, &response, &signature);
  if (error) {
    cause = "cannot fetch the signature: " + error->localizedDescription;
  } else if (response.statusCode >= kFirstFailingStatus) {
    cause = "no signature (status " + std::to_string(response.statusCode) + ")";
  } else if (const std::optional<Verified> verified =
                 ::verifyArchive(anchor_, hasher_->finish(), signature, &cause)) {
    fw::systemLog("Download verified, signed with key " + verified->signer + ": " +
                  displayText(verified->trustedComment));
    *signer = verified->signer;
    return true;
  }
  fw::systemLog("Download not verified! " + displayText(cause) + " " + displayText(url));
  if (keptBytes_ > 0) {
    // The kept bytes may be what is wrong (a power loss cut them short, say): once more, whole.
    downloadWholeOnce("The " + reused_ + " could not be verified");
  } else {
    onMainThread([&] { failure(fw::localized(kNotVerifiedText), fw::Color::kRed); });
  }
  return false;
}

bool Download::installIntoCache(const std::string& archive, const std::string& signer) {
  const std::string cacheDir = getInstallAgentCacheDir();
  Staging staging = unpackIntoStaging(archive, cacheDir, report_message_main);
  // Unpacked: an archive that is not kept goes now, so that the sync that makes the install
  // agent durable does not write it out too (it often lies on the same file system).
  if (!keepsArchive_) {
    theDownload_->discardDownloadedFile();
  }
  // Closed while unpacking, or while waiting for other runs to finish with the install agent
  // that this one replaces: the user no longer wants it.
  std::string error;
  if (!staging.path.empty() &&
      installStagedInstallAgent(
          std::move(staging), cacheDir, validationString_, signer, freshnessRecord(signer),
          [this] { return windowClosed_.load(); }, &error)) {
    return true;
  }
  // An unpack that worked but could not take the old install agent's place is no failed unpack.
  if (!error.empty()) {
    fw::systemLog(error);
  }
  if (error.empty() && keptBytes_ > 0 && !windowClosed_.load()) {
    downloadWholeOnce("The " + reused_ + " could not be unpacked");
    return false;
  }
  onMainThread([&] {
    failure(fw::localized(error.empty() ? kUnzipFailedText : kNotInPlaceText), fw::Color::kRed);
  });
  return false;
}

void Download::didCompleteWithError(fw::DownloadTask& /*task*/, const fw::UrlError* error) {
  if (error == nullptr || error->code == fw::UrlError::Code::kCancelled || windowClosed_.load()) {
    return;
  }
  // Not reached at all: no host, no route, refused, no connection in time. A TLS failure, a
  // refused redirect or a cut body are no outage.
  if (error->code == fw::UrlError::Code::kCannotConnect &&
      rideOutOutage(error->localizedDescription)) {
    return;
  }
  // Both come from outside: a password, a control byte or a megabyte of URL stays out of the log.
  fw::systemLog("Download failed! Error - " + displayText(error->localizedDescription) + " " +
                displayText(error->failingUrl));
  onMainThread([&] { failure(fw::localized(kTransferFailedText), fw::Color::kRed); });
}

bool Download::onMainThread(const std::function<void()>& work) {
  return application_.runLoop().runSync(work);
}
