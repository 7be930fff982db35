#ifndef SRC_FRAMEWORK_NET_URL_SESSION_H_
#define SRC_FRAMEWORK_NET_URL_SESSION_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/base/unique_fd.h"
#include "framework/net/body_file_writer.h"
#include "framework/net/http_response.h"
#include "framework/net/url_error.h"
#include "framework/net/url_session_configuration.h"

namespace fw {

class DownloadTask;
struct CurlLibrary;

/// Callbacks of a session, all made one at a time on the session's own worker thread (its
/// serial delegate queue). None is made once the session has been invalidated.
class UrlSessionDownloadDelegate {
 public:
  virtual ~UrlSessionDownloadDelegate() = default;

  /// Some body bytes arrived: `bytesWritten` in this report, `totalBytesWritten` so far,
  /// `totalBytesExpectedToWrite` as announced (-1 when not). The first report comes with the
  /// first bytes; later ones are gathered so that a fast link does not make too many.
  virtual void didWriteData(DownloadTask& task, int64_t bytesWritten, int64_t totalBytesWritten,
                            int64_t totalBytesExpectedToWrite) = 0;

  /// The body is complete, whatever the status, in the file at `location`: an unnamed file, and
  /// `location` a /dev/fd path to a descriptor of it, valid in this process and in the programs
  /// that it starts during the call, until the call returns; then the file is gone, unless the
  /// delegate let it go sooner (DownloadTask::discardDownloadedFile()).
  virtual void didFinishDownloadingTo(DownloadTask& task, const std::string& location) = 0;

  /// The task has ended: `error` is null after a complete body.
  virtual void didCompleteWithError(DownloadTask& task, const UrlError* error) = 0;
};

/// Downloads over HTTP(S) with libcurl on one worker thread, which is the delegate queue.
/// TLS verification and proxies from the environment are libcurl's own. Every method may be
/// called from any thread; none blocks but the destructor, which waits for the worker to end
/// (the delegate's callback in progress, if any, then nothing more).
class UrlSession {
 public:
  /// `curl`, when given, stands in for the libcurl loaded on first use (an older one's
  /// interface, say) and outlives the session.
  UrlSession(UrlSessionConfiguration configuration, UrlSessionDownloadDelegate* delegate,
             const CurlLibrary* curl = nullptr);
  ~UrlSession();
  UrlSession(const UrlSession&) = delete;
  UrlSession& operator=(const UrlSession&) = delete;

  /// Starts loading what sessions need (libcurl and the libraries under it: milliseconds) on a
  /// thread of its own and returns at once, so that the loading overlaps other start-up work; a
  /// transfer that starts before it has ended waits for it.
  static void prepare();

  /// A task for one GET of the URL, with extra request header lines ("Name: value"); it starts
  /// on resume(). Header lines holding a CR, LF or NUL are left out.
  std::shared_ptr<DownloadTask> downloadTaskWithURL(const std::string& url,
                                                    std::vector<std::string> headerLines = {});

  /// One GET of the URL with the session's configuration, on the calling thread, the body kept
  /// in `body`, at most `limit` bytes of it (more: kCannotWriteFile), the final response in
  /// `response`. For a small file that a delegate needs before it goes on (a signature, say):
  /// called from a callback, it ends as soon as the session is invalidated (kCancelled).
  std::optional<UrlError> fetchSmall(const std::string& url, size_t limit, HttpResponse* response,
                                     std::string* body);

  /// One GET of the URL with extra header lines (a Range, say) on the calling thread, as
  /// fetchSmall(), its body written into `fd` as a BodyFileWriter places it (RangePlacement::
  /// kAtRanges: each range where it belongs, a 200 from the start); the final response in
  /// `response`.
  std::optional<UrlError> fetchInto(const std::string& url,
                                    const std::vector<std::string>& headerLines, int fd,
                                    HttpResponse* response);

  /// Cancels every task and ends the session: no callback is made after this returns, other
  /// than one already in progress.
  void invalidateAndCancel();

  /// invalidateAndCancel(), then waits until the worker has ended. What the destructor does;
  /// for an owner whose callbacks must not find the session gone while it ends.
  void invalidateAndWait();

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
};

/// One download. Its response is filled in on the worker thread before the first callback and
/// is read there (or after the session has ended).
class DownloadTask : public std::enable_shared_from_this<DownloadTask> {
 public:
  DownloadTask(std::string url, std::vector<std::string> headerLines,
               std::weak_ptr<UrlSession::Shared> session);

  /// Starts the transfer; a second call does nothing.
  void resume();
  /// Ends the transfer as soon as possible: the delegate gets no more data, and the task
  /// completes with kCancelled. Harmless after the task ended.
  void cancel();
  bool isCancelled() const;

  /// From didFinishDownloadingTo, once nothing reads the downloaded file any more: empties it at
  /// once, so that the system neither keeps its pages nor writes them to the disk (in a sync of
  /// its file system that follows, say). The location stays valid until the call returns, empty.
  /// Where it cannot be emptied, the file goes at the end of the call as it would have.
  void discardDownloadedFile();

  /// Stores the body in `file` instead of a file without a name: a 200's from the file's start
  /// (what it held goes), a 206's where the first `keptBytes` end, which is where its
  /// Content-Range must start (a resumed transfer: the request asked for the rest). No other
  /// answer's body is stored: the file keeps what it held. The location that
  /// didFinishDownloadingTo gets is then a path to a descriptor of this file. Such a file is
  /// taken to be kept: its data is handed to the disk as it comes, without waiting. Set before
  /// resume().
  void setBodyFile(UniqueFd file, int64_t keptBytes,
                   RangePlacement placement = RangePlacement::kAfterKept);
  UniqueFd takeBodyFile() { return std::move(bodyFile_); }
  int64_t keptBytes() const { return keptBytes_; }
  RangePlacement rangePlacement() const { return placement_; }

  /// Sees every piece of the final response's body as it arrives, on the worker thread, before
  /// it is stored. Set before resume().
  void setBodyObserver(std::function<void(std::string_view)> observer) {
    bodyObserver_ = std::move(observer);
  }
  const std::function<void(std::string_view)>& bodyObserver() const { return bodyObserver_; }

  const HttpResponse& response() const { return response_; }
  HttpResponse& mutableResponse() { return response_; }
  const std::string& url() const { return url_; }
  const std::vector<std::string>& headerLines() const { return headerLines_; }

 private:
  std::string url_;
  std::vector<std::string> headerLines_;
  std::weak_ptr<UrlSession::Shared> session_;
  HttpResponse response_;
  std::function<void(std::string_view)> bodyObserver_;
  UniqueFd bodyFile_;
  int64_t keptBytes_ = 0;
  RangePlacement placement_ = RangePlacement::kAfterKept;
  std::atomic<bool> resumed_{false};
  std::atomic<bool> cancelled_{false};
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_NET_URL_SESSION_H_
