#ifndef SRC_DOWNLOAD_DOWNLOAD_CONTROLLER_H_
#define SRC_DOWNLOAD_DOWNLOAD_CONTROLLER_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/rate_estimate.h"
#include "framework/net/url_session.h"
#include "framework/ui/application.h"
#include "framework/ui/window.h"
#include "provisioning/agent_signature.h"

/// The one object of the download window: the application's delegate, the window's delegate
/// and the delegate of the URL session that fetches the install agent archive.
///
/// It makes the per-user cache current and nothing more: at the first data it compares the
/// response's "ETag" with the cache's validation string and, when they match, ends the window
/// with the cached install agent; otherwise it downloads the archive and puts its install agent
/// into the cache, whole or not at all. The runner's exit status is 1 exactly when the window
/// ended with a current install agent in the cache. Failures are logged, in English, and shown
/// in red, in the user's language (fw::localized()), as all the window's words are.
///
/// Window work runs on the main thread; the session's callbacks run on its worker thread and
/// hand their window work to the main thread, waiting for it.
class Download : public fw::ApplicationDelegate,
                 public fw::WindowDelegate,
                 public fw::UrlSessionDownloadDelegate {
 public:
  /// The controls of the window, attached before init().
  struct Outlets {
    fw::Window* window = nullptr;
    fw::ImageView* image = nullptr;
    fw::ProgressIndicator* progress = nullptr;
    fw::TextFieldCell* downloadPercent = nullptr;
    fw::Button* cancel = nullptr;
    fw::TextFieldCell* detail = nullptr;
  };

  Download(fw::Application& application, const Outlets& outlets);
  ~Download() override;
  Download(const Download&) = delete;
  Download& operator=(const Download&) = delete;

  /// The initial settings: bar at 0 of 100, "Downloading", Return for the button; takes the
  /// bridge's destination as the first install agent location.
  void init();

  /// Starts one GET of the URL in a new session, conditional on the cached install agent.
  void downloadFromURL(const std::string& url);

  /// Failure display: the message (as shown: in the user's language) in the colour, a full
  /// bar, the button titled "Close" (in the user's language) and enabled.
  void failure(const std::string& message, fw::Color color);

  // fw::ApplicationDelegate: the splash image and the start of the download.
  void applicationDidFinishLaunching() override;
  // fw::WindowDelegate: cancels the transfer and ends the event loop.
  void windowWillClose() override;
  // fw::UrlSessionDownloadDelegate, on the session's worker thread.
  void didWriteData(fw::DownloadTask& task, int64_t bytesWritten, int64_t totalBytesWritten,
                    int64_t totalBytesExpectedToWrite) override;
  void didFinishDownloadingTo(fw::DownloadTask& task, const std::string& location) override;
  void didCompleteWithError(fw::DownloadTask& task, const fw::UrlError* error) override;

  int64_t fileLength() const { return fileLength_; }
  const std::string& installAgentLocation() const { return installAgentLocation_; }
  const std::optional<std::string>& validationString() const { return validationString_; }

 private:
  /// The steps at the first data of a transfer (or at its end, when no data came). Returns true
  /// when they ended the transfer.
  bool firstData();
  void progressUpdate(int64_t bytes);
  /// Says in the detail line how far the transfer is, and again a few times a second until the
  /// phase changes: also while nothing arrives, so that a stall shows as a time left that grows,
  /// not one that stands still. Main thread.
  void showDetail();
  void installingDisplay();
  /// When the bundle trusts keys: fetches the archive's signature and checks it; on failure,
  /// logs the cause and shows it. True, with the signer's key id, when the archive is verified.
  bool verifyArchive(std::string* signer);
  /// Puts the downloaded archive's install agent into the cache, recording who signed it (empty:
  /// nobody was asked to); false when it could not, the failure logged and shown.
  bool installIntoCache(const std::string& archive, const std::string& signer);
  /// Ends the window with the install agent that the cache holds, kept for this run.
  void handOverCachedInstallAgent();
  /// When the endpoint is down (`why`) and the response that made the cache current allowed it,
  /// hands over the cached install agent, with a log line that says so; false otherwise.
  bool rideOutOutage(const std::string& why);
  /// The freshness record of this transfer's response, for an install agent verified with
  /// `signer`; empty when the response gives none.
  std::string freshnessRecord(const std::string& signer) const;
  /// Feeds the hasher the partial's kept bytes; false, with a fresh hasher, when they cannot be
  /// read.
  bool hashKeptBytes(int fd);
  /// After a new archive's end came: makes the download's file at `location` the whole archive
  /// from the kept one and range requests; false, with the archive asked for whole once, when
  /// that cannot be done.
  bool assembleUpdate(const std::string& location);
  /// Fetches the ranges of the archive into the file at their places, the server's archive the
  /// one planned with (If-Range); false with `why` otherwise.
  bool fetchRanges(int fd, const std::vector<std::pair<uint64_t, uint64_t>>& ranges,
                   std::string* why);
  /// When what was kept of an archive turned out not to fit (`why`): drops it and downloads the
  /// archive anew, whole, once. From the worker thread.
  void downloadWholeOnce(const std::string& why);
  /// Hands window work to the main thread and waits for it; false when the loop has ended.
  bool onMainThread(const std::function<void()>& work);

  fw::Application& application_;
  fw::ProgressIndicator* progress_;
  fw::ImageView* image_;
  int64_t fileLength_ = -1;
  fw::TextFieldCell* downloadPercent_;
  fw::Window* window_;
  std::shared_ptr<fw::DownloadTask> theDownload_;
  std::string installAgentLocation_;
  fw::Button* cancel_;
  fw::TextFieldCell* detail_;
  int64_t received_ = 0;  // of this transfer's body; main thread only, as are the two below
  RateEstimate rate_;
  bool detailShown_ = false;  // until the phase changes
  std::optional<std::string> validationString_;
  std::unique_ptr<fw::UrlSession> urlSession_;
  std::vector<std::unique_ptr<fw::UrlSession>> replacedSessions_;

  std::string sentValidationString_;  // the If-None-Match of the request, if any
  std::string requestedUrl_;          // the endpoint URL, before any redirect
  int64_t requestTime_ = 0;           // this machine's clock when the request went out
  int64_t responseTime_ = 0;          // and when its response came
  TrustAnchor anchor_;                // what the bundle trusts; nothing required without keys
  std::optional<fw::crypto::Blake2b512> hasher_;  // the archive's, when it is to be verified
  bool firstDataDone_ = false;                    // worker thread only
  bool firstPiece_ = true;                        // worker thread only
  bool resumes_ = true;        // whether a partial may be resumed (not after it failed once)
  bool ownsPartial_ = false;   // the transfer writes into the cache's partial
  int64_t keptBytes_ = 0;      // what the transfer resumes after
  bool keepsArchive_ = false;  // the whole archive stays in the cache once it is installed
  int attempt_ = 0;            // how many downloads this window started
  bool updating_ = false;      // asked for the end of a new archive, to assemble from the kept one
  uint64_t tailLength_ = 0;    // how much of the archive's end came
  std::string reused_;         // what the bytes not downloaded now come from, for log lines
  std::atomic<bool> windowClosed_{false};
  std::atomic<bool> proxyProblemLogged_{false};
};

#endif  // SRC_DOWNLOAD_DOWNLOAD_CONTROLLER_H_
