#ifndef SRC_FRAMEWORK_UI_WINDOW_H_
#define SRC_FRAMEWORK_UI_WINDOW_H_

#include <functional>
#include <memory>
#include <string>

namespace fw {

class Window;

/// A control of a window. Every change marks its window for redraw. Main thread only.
class View {
 public:
  explicit View(Window& window) : window_(window) {}
  virtual ~View() = default;
  View(const View&) = delete;
  View& operator=(const View&) = delete;

 protected:
  void changed();
  Window& window_;
};

enum class Color { kText, kRed };

/// An image loaded from a file, drawn at a size in points.
struct Image {
  std::string path;
  double width = 0;
  double height = 0;

  /// The image named `name` among the main bundle's resources (name + ".png"); none when the
  /// file does not exist.
  static std::shared_ptr<Image> imageNamed(const std::string& name);
  void setSize(double newWidth, double newHeight) {
    width = newWidth;
    height = newHeight;
  }
};

enum class ImageScaling { kNone, kAxesIndependently, kProportionallyDown, kProportionallyUpOrDown };

class ImageView : public View {
 public:
  using View::View;
  void setImage(std::shared_ptr<Image> image);
  void setImageScaling(ImageScaling scaling);
  void setEditable(bool editable);
  const std::shared_ptr<Image>& image() const { return image_; }
  ImageScaling imageScaling() const { return scaling_; }

 private:
  std::shared_ptr<Image> image_;
  ImageScaling scaling_ = ImageScaling::kProportionallyDown;
  bool editable_ = false;
};

class ProgressIndicator : public View {
 public:
  using View::View;
  void setDoubleValue(double value);
  void setMaxValue(double value);
  void incrementBy(double delta);
  void setIndeterminate(bool indeterminate);
  void startAnimation();
  void stopAnimation();
  void setUsesThreadedAnimation(bool threaded);
  double doubleValue() const { return value_; }
  double maxValue() const { return max_; }
  bool isIndeterminate() const { return indeterminate_; }
  bool isAnimating() const { return animating_; }
  /// How far the bar is filled, from 0 to 1 (0 with no maximum).
  double fraction() const;

 private:
  double value_ = 0;
  double max_ = 100;
  bool indeterminate_ = true;
  bool animating_ = false;
  bool threaded_ = false;
};

/// A line of text: the status, or the detail under it.
class TextFieldCell : public View {
 public:
  using View::View;
  void setStringValue(const std::string& text);
  void setTextColor(Color color);
  void setUsesSingleLineMode(bool singleLine);
  const std::string& stringValue() const { return text_; }
  Color textColor() const { return color_; }

 private:
  std::string text_;
  Color color_ = Color::kText;
  bool singleLine_ = false;
};

class Button : public View {
 public:
  using View::View;
  void setTitle(const std::string& title);
  void setEnabled(bool enabled);
  void setKeyEquivalent(const std::string& key);
  void setAction(std::function<void()> action) { action_ = std::move(action); }
  /// Runs the action when the button is enabled; what a click or its key does.
  void performClick();
  const std::string& title() const { return title_; }
  bool isEnabled() const { return enabled_; }
  const std::string& keyEquivalent() const { return key_; }

 private:
  std::string title_;
  bool enabled_ = true;
  std::string key_;
  std::function<void()> action_;
};

class WindowDelegate {
 public:
  virtual ~WindowDelegate() = default;
  /// The window is about to close, whatever closes it.
  virtual void windowWillClose() = 0;
};

/// Draws a window: on a terminal, or in a GUI toolkit. Main thread only.
class WindowRenderer {
 public:
  virtual ~WindowRenderer() = default;
  virtual void show(Window& window) = 0;
  /// Gets ready to show the window soon: what show() would spend time on, done ahead, with
  /// nothing on screen yet.
  virtual void prepare(Window& /*window*/) {}
  /// The window's controls changed; draw them (now, or soon after).
  virtual void setNeedsDisplay(Window& window) = 0;
  /// Draws the window now, on screen at once even where the renderer would hold it back.
  virtual void displayNow(Window& window) { setNeedsDisplay(window); }
  virtual void close(Window& window) = 0;
  /// Whether a person can close the window (a key, a close control).
  virtual bool canUserClose() const = 0;
};

/// The window model: its controls, its delegate and how it is drawn. Main thread only.
class Window {
 public:
  Window(std::string title, WindowRenderer& renderer);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  ImageView& imageView() { return *imageView_; }
  ProgressIndicator& progressIndicator() { return *progress_; }
  TextFieldCell& statusText() { return *status_; }
  /// A line of detail under the status (how far a transfer is); empty by default, and not drawn
  /// while empty.
  TextFieldCell& detailText() { return *detail_; }
  Button& button() { return *button_; }
  const ImageView& imageView() const { return *imageView_; }
  const ProgressIndicator& progressIndicator() const { return *progress_; }
  const TextFieldCell& statusText() const { return *status_; }
  const TextFieldCell& detailText() const { return *detail_; }
  const Button& button() const { return *button_; }
  const std::string& title() const { return title_; }

  void setDelegate(WindowDelegate* delegate) { delegate_ = delegate; }
  void makeKeyAndOrderFront();
  /// Tells the delegate, then takes the window off screen. Once only.
  void close();
  bool isVisible() const { return visible_; }
  bool isClosed() const { return closed_; }
  /// Whether a person can close this window; when nobody can, a window that waits for one
  /// would wait forever.
  bool canUserClose() const { return renderer_.canUserClose(); }

  void layoutIfNeeded();
  void setViewsNeedDisplay(bool needed);
  /// Draws a shown window now, at once on screen even where it would appear only later: for
  /// what the person must see and answer.
  void display();
  /// Called by the controls: something changed.
  void viewDidChange();

 private:
  std::string title_;
  WindowRenderer& renderer_;
  WindowDelegate* delegate_ = nullptr;
  std::unique_ptr<ImageView> imageView_;
  std::unique_ptr<ProgressIndicator> progress_;
  std::unique_ptr<TextFieldCell> status_;
  std::unique_ptr<TextFieldCell> detail_;
  std::unique_ptr<Button> button_;
  bool visible_ = false;
  bool closed_ = false;
};

}  // namespace fw

#endif  // SRC_FRAMEWORK_UI_WINDOW_H_
