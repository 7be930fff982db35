#include "framework/ui/window.h"

#include <algorithm>

#include "framework/os/main_bundle.h"
#include "framework/os/paths.h"

namespace fw {

void View::changed() {
  window_.viewDidChange();
}

std::shared_ptr<Image> Image::imageNamed(const std::string& name) {
  const auto bundle = mainBundle();
  if (!bundle || bundle->resourcePath.empty()) {
    return nullptr;
  }
  const std::string path = appendPathComponent(bundle->resourcePath, name + ".png");
  if (!regularFileExistsAtPath(path)) {
    return nullptr;
  }
  auto image = std::make_shared<Image>();
  image->path = path;
  return image;
}

void ImageView::setImage(std::shared_ptr<Image> image) {
  image_ = std::move(image);
  changed();
}

void ImageView::setImageScaling(ImageScaling scaling) {
  scaling_ = scaling;
  changed();
}

void ImageView::setEditable(bool editable) {
  editable_ = editable;
}

void ProgressIndicator::setDoubleValue(double value) {
  value_ = value;
  changed();
}

void ProgressIndicator::setMaxValue(double value) {
  max_ = value;
  changed();
}

void ProgressIndicator::incrementBy(double delta) {
  value_ += delta;
  changed();
}

void ProgressIndicator::setIndeterminate(bool indeterminate) {
  indeterminate_ = indeterminate;
  changed();
}

void ProgressIndicator::startAnimation() {
  animating_ = true;
  changed();
}

void ProgressIndicator::stopAnimation() {
  animating_ = false;
  changed();
}

void ProgressIndicator::setUsesThreadedAnimation(bool threaded) {
  threaded_ = threaded;
}

double ProgressIndicator::fraction() const {
  if (max_ <= 0) {
    return 0;
  }
  return std::clamp(value_ / max_, 0.0, 1.0);
}

void TextFieldCell::setStringValue(const std::string& text) {
  text_ = text;
  changed();
}

void TextFieldCell::setTextColor(Color color) {
  color_ = color;
  changed();
}

void TextFieldCell::setUsesSingleLineMode(bool singleLine) {
  singleLine_ = singleLine;
}

void Button::setTitle(const std::string& title) {
  title_ = title;
  changed();
}

void Button::setEnabled(bool enabled) {
  enabled_ = enabled;
  changed();
}

void Button::setKeyEquivalent(const std::string& key) {
  key_ = key;
}

void Button::performClick() {
  if (enabled_ && action_) {
    // A copy: the action may close the window that owns this button's state.
    const std::function<void()> action = action_;
    action();
  }
}

Window::Window(std::string title, WindowRenderer& renderer)
    : title_(std::move(title)),
      renderer_(renderer),
      imageView_(std::make_unique<ImageView>(*this)),
      progress_(std::make_unique<ProgressIndicator>(*this)),
      status_(std::make_unique<TextFieldCell>(*this)),
      detail_(std::make_unique<TextFieldCell>(*this)),
      button_(std::make_unique<Button>(*this)) {}

Window::~Window() {
  if (visible_) {
    renderer_.close(*this);
  }
}

void Window::makeKeyAndOrderFront() {
  if (closed_ || visible_) {
    return;
  }
  visible_ = true;
  renderer_.show(*this);
}

void Window::close() {
  if (closed_) {
    return;
  }
  closed_ = true;
  if (delegate_ != nullptr) {
    delegate_->windowWillClose();
  }
  if (visible_) {
    visible_ = false;
    renderer_.close(*this);
  }
}

void Window::layoutIfNeeded() {
  if (visible_) {
    renderer_.setNeedsDisplay(*this);
  }
}

void Window::setViewsNeedDisplay(bool needed) {
  if (needed && visible_) {
    renderer_.setNeedsDisplay(*this);
  }
}

void Window::display() {
  if (visible_) {
    renderer_.displayNow(*this);
  }
}

void Window::viewDidChange() {
  if (visible_) {
    renderer_.setNeedsDisplay(*this);
  }
}

}  // namespace fw
