#include "download/main_interface.h"

#include "download/download_bridge.h"
#include "download/download_controller.h"
#include "framework/os/message_locale.h"

namespace {

class DownloadInterface : public fw::MainInterface {
 public:
  DownloadInterface(fw::Application& application, fw::WindowRenderer& renderer)
      : window_(std::make_unique<fw::Window>(fw::localized("Installer"), renderer)) {
    fw::Window& window = *window_;
    window.progressIndicator().setIndeterminate(false);
    window.button().setTitle(fw::localized("Cancel"));
    window.button().setAction([&window] { window.close(); });
    controller_ = std::make_unique<Download>(
        application,
        Download::Outlets{&window, &window.imageView(), &window.progressIndicator(),
                          &window.statusText(), &window.button(), &window.detailText()});
    controller_->init();
    application.setDelegate(controller_.get());
    window.setDelegate(controller_.get());
  }

  ~DownloadInterface() override {
    // The controller (and its transfer) goes before the window that it draws into.
    window_->setDelegate(nullptr);
    controller_.reset();
  }

  fw::Window& window() override { return *window_; }

 private:
  std::unique_ptr<fw::Window> window_;
  std::unique_ptr<Download> controller_;
};

// Most runs find the cache current and end within a few tens of milliseconds: a window that
// came up for them would only flicker (and starting a desktop toolkit would cost several times
// the run). A download still going after this long is one that a person waits for and should
// see; 0.4 s is about the longest a response to a launch can take and still feel immediate.
constexpr double kWindowDelaySeconds = 0.4;

}  // namespace

std::unique_ptr<fw::MainInterface> loadMainInterface(fw::Application& application,
                                                     fw::WindowRenderer& renderer) {
  return std::make_unique<DownloadInterface>(application, renderer);
}

int CallNSApplicationMain(int /*argc*/, char** /*argv*/) {
  return fw::applicationMain(loadMainInterface, kWindowDelaySeconds);
}
