#include "framework/net/url_session.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "framework/base/unique_fd.h"
#include "framework/net/body_file_writer.h"
#include "framework/net/curl_library.h"
#include "framework/net/curl_transfer.h"
#include "framework/os/paths.h"

namespace fw {

struct UrlSession::Shared {
  UrlSessionConfiguration configuration;
  UrlSessionDownloadDelegate* delegate = nullptr;
  const CurlLibrary* curl = nullptr;  // null: the libcurl loaded on first use

  std::mutex mutex;
  std::condition_variable workAvailable;
  std::deque<std::shared_ptr<DownloadTask>> queue;  // guarded by mutex
  bool invalidated = false;                         // guarded by mutex
  std::function<void()> waker;                      // guarded by mutex
  std::thread worker;                               // started and joined under the session

  // During didFinishDownloadingTo: the task that it is for, and its body's descriptor.
  const DownloadTask* finishing = nullptr;  // guarded by mutex
  int finishingBody = -1;                   // guarded by mutex

  bool isInvalidated() {
    const std::lock_guard<std::mutex> lock(mutex);
    return invalidated;
  }

  void setFinishing(const DownloadTask* task, int body) {
    const std::lock_guard<std::mutex> lock(mutex);
    finishing = task;
    finishingBody = body;
  }

  void wakeTransfer() {
    const std::lock_guard<std::mutex> lock(mutex);
    if (waker) {
      waker();
    }
  }
};

namespace {

// A file for the body in `directory` (the temporary-files directory, or /tmp when that one is
// unusable, by default) with no name: it goes with its last descriptor, so that no crash leaves
// it behind. Where the file system has no unnamed files, a named one is unlinked at once.
UniqueFd createBodyFile(const std::string& directory, const std::string& prefix) {
  const std::vector<std::string> dirs = directory.empty()
                                            ? std::vector{temporaryDirectory(), std::string("/tmp")}
                                            : std::vector{directory};
  for (const std::string& dir : dirs) {
    UniqueFd fd(::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (fd) {
      return fd;
    }
    std::string pattern = appendPathComponent(dir, prefix + "XXXXXX");
    fd.reset(::mkostemp(pattern.data(), O_CLOEXEC));
    if (fd) {
      ::unlink(pattern.c_str());
      return fd;
    }
  }
  return {};
}

// What every transfer of the session shares: it ends when the session does, and another thread
// can interrupt its wait.
CurlTransferHooks hooksFor(UrlSession::Shared& shared) {
  CurlTransferHooks hooks;
  hooks.isCancelled = [&] { return shared.isInvalidated(); };
  hooks.setWaker = [&](std::function<void()> waker) {
    const std::lock_guard<std::mutex> lock(shared.mutex);
    shared.waker = std::move(waker);
  };
  return hooks;
}

void runTask(UrlSession::Shared& shared, DownloadTask& task) {
  UrlSessionDownloadDelegate& delegate = *shared.delegate;
  const auto deliverable = [&] { return !shared.isInvalidated() && !task.isCancelled(); };
  const auto complete = [&](const UrlError* error) {
    if (!shared.isInvalidated()) {
      delegate.didCompleteWithError(task, error);
    }
  };
  if (task.isCancelled()) {
    const UrlError cancelled{UrlError::Code::kCancelled, "cancelled", task.url()};
    complete(&cancelled);
    return;
  }
  const int64_t kept = task.keptBytes();
  UniqueFd bodyFd = task.takeBodyFile();
  const bool unnamed = !bodyFd;
  if (!bodyFd) {
    bodyFd = createBodyFile(shared.configuration.bodyDirectory,
                            shared.configuration.temporaryFilePrefix);
  }
  if (!bodyFd) {
    const UrlError error{
        UrlError::Code::kCannotWriteFile,
        std::string("cannot create a file for the download: ") + std::strerror(errno), task.url()};
    complete(&error);
    return;
  }

  CurlTransferHooks hooks = hooksFor(shared);
  hooks.onData = [&](int64_t bytes, int64_t total, int64_t expected) {
    if (!deliverable()) {
      return false;
    }
    delegate.didWriteData(task, bytes, total, expected);
    return true;
  };
  hooks.isCancelled = [&] { return !deliverable(); };
  // A file that the delegate gave is kept: it is handed to the disk as it comes.
  BodyFileWriter writer(bodyFd.get(), kept, task.rangePlacement(), !unnamed);
  hooks.storeBody = [&](std::string_view piece) { return writer.write(task.response(), piece); };
  if (const auto& observer = task.bodyObserver()) {
    hooks.storeBody = [store = hooks.storeBody, &observer](std::string_view piece) {
      observer(piece);
      return store(piece);
    };
  }
  std::optional<UrlError> error =
      runCurlTransfer(shared.curl, task.url(), task.headerLines(), shared.configuration,
                      task.mutableResponse(), hooks);
  if (!error) {
    if (const std::optional<std::string> problem = writer.finish()) {
      error = UrlError{UrlError::Code::kNetworkLost, *problem, task.url()};
    }
  } else if (!writer.problem().empty()) {
    error = UrlError{UrlError::Code::kOther, writer.problem(), task.url()};
  }
  if (!error && deliverable()) {
    // The delegate, and what it starts meanwhile (unzip), read the body through a path into
    // this process's descriptors: the one that it names is inherited only during the call.
    const UniqueFd handed(::fcntl(bodyFd.get(), F_DUPFD, 3));
    if (handed) {
      shared.setFinishing(&task, bodyFd.get());
      delegate.didFinishDownloadingTo(task, "/dev/fd/" + std::to_string(handed.get()));
      shared.setFinishing(nullptr, -1);
    } else {
      error = UrlError{UrlError::Code::kCannotWriteFile,
                       std::string("cannot hand over the download: ") + std::strerror(errno),
                       task.url()};
    }
  }
  if (error && task.isCancelled()) {
    error->code = UrlError::Code::kCancelled;
  }
  complete(error ? &*error : nullptr);
}

void workerLoop(const std::shared_ptr<UrlSession::Shared>& shared) {
  for (;;) {
    std::shared_ptr<DownloadTask> task;
    {
      std::unique_lock<std::mutex> lock(shared->mutex);
      shared->workAvailable.wait(lock,
                                 [&] { return shared->invalidated || !shared->queue.empty(); });
      if (shared->invalidated) {
        return;
      }
      task = shared->queue.front();
      shared->queue.pop_front();
    }
    runTask(*shared, *task);
  }
}

}  // namespace

void UrlSession::prepare() {
  // Detached: nothing waits for it but the first transfer, through the library's own once.
  std::thread([] {
    std::string ignored;  // a transfer that needs the library reports why it is missing
    curlLibrary(ignored);
  }).detach();
}

UrlSession::UrlSession(UrlSessionConfiguration configuration, UrlSessionDownloadDelegate* delegate,
                       const CurlLibrary* curl)
    : shared_(std::make_shared<Shared>()) {
  shared_->configuration = configuration;
  shared_->delegate = delegate;
  shared_->curl = curl;
}

UrlSession::~UrlSession() {
  invalidateAndWait();
}

void UrlSession::invalidateAndWait() {
  invalidateAndCancel();
  if (shared_->worker.joinable()) {
    if (shared_->worker.get_id() == std::this_thread::get_id()) {
      shared_->worker.detach();  // destroyed from its own callback: it ends by itself
    } else {
      shared_->worker.join();
    }
  }
}

std::optional<UrlError> UrlSession::fetchSmall(const std::string& url, size_t limit,
                                               HttpResponse* response, std::string* body) {
  CurlTransferHooks hooks = hooksFor(*shared_);
  hooks.onData = [](int64_t, int64_t, int64_t) { return true; };
  hooks.storeBody = [&](std::string_view piece) {
    if (body->size() + piece.size() > limit) {
      return EFBIG;
    }
    body->append(piece);
    return 0;
  };
  std::optional<UrlError> error =
      runCurlTransfer(shared_->curl, url, {}, shared_->configuration, *response, hooks);
  if (error && shared_->isInvalidated()) {
    error->code = UrlError::Code::kCancelled;
  }
  return error;
}

std::optional<UrlError> UrlSession::fetchInto(const std::string& url,
                                              const std::vector<std::string>& headerLines, int fd,
                                              HttpResponse* response) {
  CurlTransferHooks hooks = hooksFor(*shared_);
  hooks.onData = [](int64_t, int64_t, int64_t) { return true; };
  BodyFileWriter writer(fd, 0, RangePlacement::kAtRanges, true);
  hooks.storeBody = [&](std::string_view piece) { return writer.write(*response, piece); };
  std::optional<UrlError> error =
      runCurlTransfer(shared_->curl, url, headerLines, shared_->configuration, *response, hooks);
  if (!error) {
    if (const std::optional<std::string> problem = writer.finish()) {
      error = UrlError{UrlError::Code::kNetworkLost, *problem, url};
    }
  } else if (!writer.problem().empty()) {
    error = UrlError{UrlError::Code::kOther, writer.problem(), url};
  }
  if (error && shared_->isInvalidated()) {
    error->code = UrlError::Code::kCancelled;
  }
  return error;
}

std::shared_ptr<DownloadTask> UrlSession::downloadTaskWithURL(
    const std::string& url, std::vector<std::string> headerLines) {
  return std::make_shared<DownloadTask>(url, std::move(headerLines), shared_);
}

void UrlSession::invalidateAndCancel() {
  std::deque<std::shared_ptr<DownloadTask>> queued;
  {
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->invalidated = true;
    queued.swap(shared_->queue);
    if (shared_->waker) {
      shared_->waker();
    }
  }
  shared_->workAvailable.notify_all();
  for (const auto& task : queued) {
    task->cancel();
  }
}

DownloadTask::DownloadTask(std::string url, std::vector<std::string> headerLines,
                           std::weak_ptr<UrlSession::Shared> session)
    : url_(std::move(url)), headerLines_(std::move(headerLines)), session_(std::move(session)) {}

void DownloadTask::setBodyFile(UniqueFd file, int64_t keptBytes, RangePlacement placement) {
  bodyFile_ = std::move(file);
  keptBytes_ = keptBytes;
  placement_ = placement;
}

void DownloadTask::resume() {
  if (resumed_.exchange(true)) {
    return;
  }
  const std::shared_ptr<UrlSession::Shared> session = session_.lock();
  if (!session) {
    return;
  }
  {
    const std::lock_guard<std::mutex> lock(session->mutex);
    if (session->invalidated) {
      return;
    }
    session->queue.push_back(shared_from_this());
    if (!session->worker.joinable()) {
      session->worker = std::thread(workerLoop, session);
    }
  }
  session->workAvailable.notify_all();
}

void DownloadTask::cancel() {
  cancelled_.store(true);
  if (const std::shared_ptr<UrlSession::Shared> session = session_.lock()) {
    session->wakeTransfer();
  }
}

bool DownloadTask::isCancelled() const {
  return cancelled_.load();
}

void DownloadTask::discardDownloadedFile() {
  const std::shared_ptr<UrlSession::Shared> session = session_.lock();
  if (!session) {
    return;
  }
  const std::lock_guard<std::mutex> lock(session->mutex);
  if (session->finishing == this) {
    // Truncated, not closed: the descriptors stay valid, and the location with them. Should it
    // fail, the file still goes with its descriptors when the call returns.
    (void)::ftruncate(session->finishingBody, 0);
  }
}

}  // namespace fw
