#include "framework/ui/delayed_renderer.h"

namespace fw {

DelayedRenderer::DelayedRenderer(RunLoop& loop, double delaySeconds, Maker makeRenderer)
    : loop_(loop), delaySeconds_(delaySeconds), makeRenderer_(std::move(makeRenderer)) {}

void DelayedRenderer::show(Window& window) {
  if (waiting_ != nullptr || onScreen_ != nullptr) {
    return;
  }
  waiting_ = &window;
  if (delaySeconds_ <= 0) {
    putOnScreen(window);
    return;
  }
  loop_.addTimer(delaySeconds_ / 2, [this] {
    if (waiting_ != nullptr) {
      renderer().prepare(*waiting_);
    }
  });
  loop_.addTimer(delaySeconds_, [this] {
    if (waiting_ != nullptr) {
      putOnScreen(*waiting_);
    }
  });
}

void DelayedRenderer::setNeedsDisplay(Window& window) {
  if (onScreen_ == &window) {
    renderer_->setNeedsDisplay(window);
  }
}

void DelayedRenderer::displayNow(Window& window) {
  if (waiting_ == &window) {
    putOnScreen(window);
  } else if (onScreen_ == &window) {
    renderer_->displayNow(window);
  }
}

void DelayedRenderer::close(Window& window) {
  if (waiting_ == &window) {
    waiting_ = nullptr;
  } else if (onScreen_ == &window) {
    onScreen_ = nullptr;
    renderer_->close(window);
  }
}

bool DelayedRenderer::canUserClose() const {
  return onScreen_ != nullptr && renderer_->canUserClose();
}

WindowRenderer& DelayedRenderer::renderer() {
  if (!renderer_) {
    renderer_ = makeRenderer_();
  }
  return *renderer_;
}

void DelayedRenderer::putOnScreen(Window& window) {
  waiting_ = nullptr;
  onScreen_ = &window;
  // What the window shows by now: the controls hold their state, whatever was drawn before.
  renderer().show(window);
}

}  // namespace fw
