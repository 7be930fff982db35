#include "framework/ui/terminal_renderer.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "framework/os/console.h"
#include "framework/os/paths.h"
#include "framework/ui/text_columns.h"

namespace fw {

namespace {

using Clock = std::chrono::steady_clock;

// Redraws for the bar alone: often enough to look smooth, rarely enough to cost nothing.
constexpr std::chrono::milliseconds kFrameInterval{50};
constexpr double kAnimationStepSeconds = 0.1;

const char* const kRed = "\033[31m";
const char* const kDim = "\033[2m";
const char* const kReset = "\033[0m";

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  lines.push_back(text.substr(start));
  return lines;
}

// What, besides the bar and the detail line, the window shows: a change of it is drawn at once.
// The detail changes as often as the bar does, and waits for the next frame as the bar does.
std::string signatureOf(const Window& window) {
  return window.statusText().stringValue() +
         (window.statusText().textColor() == Color::kRed ? "\x01" : "\x02") +
         window.button().title() + (window.button().isEnabled() ? "\x01" : "\x02");
}

std::string bar(const ProgressIndicator& progress, size_t width, int phase) {
  std::string cells(width, '-');
  if (!progress.isIndeterminate()) {
    const auto filled =
        static_cast<size_t>(std::floor(progress.fraction() * static_cast<double>(width)));
    std::fill_n(cells.begin(), std::min(filled, width), '#');
  } else if (progress.isAnimating() && width > 4) {
    // A block that bounces from end to end.
    const size_t block = 4;
    const size_t span = width - block;
    const size_t step = static_cast<size_t>(phase) % (2 * span);
    const size_t start = step <= span ? step : 2 * span - step;
    std::fill_n(cells.begin() + static_cast<long>(start), block, '#');
  }
  return "[" + cells + "]";
}

}  // namespace

TerminalRenderer::TerminalRenderer(RunLoop& loop, int inputFd, int outputFd)
    : loop_(loop),
      inputFd_(inputFd),
      outputFd_(outputFd),
      interactiveOutput_(::isatty(outputFd) == 1),
      interactiveInput_(::isatty(inputFd) == 1) {}

TerminalRenderer::~TerminalRenderer() {
  stopInput();
}

std::vector<std::string> TerminalRenderer::render(const Window& window, size_t columns, bool colour,
                                                  int animationPhase, bool showKeyHint) {
  // Each line is cut before its colour codes are added, which take no column, so that a cut
  // never drops the code that ends a colour.
  const size_t inner = columns > 0 ? columns - 1 : 0;  // past the leading space
  const auto paint = [colour](const char* code, const std::string& text) {
    return colour ? std::string(code) + text + kReset : text;
  };
  std::vector<std::string> lines;
  std::string heading = window.title();
  if (const auto& image = window.imageView().image()) {
    heading += "  (" + lastPathComponent(image->path) + ")";
  }
  lines.push_back(" " + cutToColumns(heading, inner));
  const size_t barWidth = std::clamp<size_t>(columns > 4 ? columns - 4 : 10, 10, 60);
  lines.push_back(" " +
                  cutToColumns(bar(window.progressIndicator(), barWidth, animationPhase), inner));
  const bool red = window.statusText().textColor() == Color::kRed;
  for (const std::string& line : splitLines(window.statusText().stringValue())) {
    const std::string shown = cutToColumns(line, inner);
    lines.push_back(" " + (red ? paint(kRed, shown) : shown));
  }
  if (const std::string& detail = window.detailText().stringValue(); !detail.empty()) {
    lines.push_back(" " + cutToColumns(detail, inner));
  }
  const Button& button = window.button();
  const std::string buttonLine = "[ " + button.title() + " ]";
  if (!button.isEnabled()) {
    lines.push_back(" " + paint(kDim, cutToColumns(buttonLine, inner)));
  } else if (showKeyHint && button.keyEquivalent() == "\r") {
    lines.push_back(" " + cutToColumns(buttonLine + "  Return", inner));
  } else {
    lines.push_back(" " + cutToColumns(buttonLine, inner));
  }
  return lines;
}

void TerminalRenderer::show(Window& window) {
  shown_ = &window;
  // The terminal stays as it is, in its line mode: nothing is left to put back, even when the
  // run is killed. Return ends a line, and that is the key that presses the button.
  if (interactiveInput_) {
    loop_.watchReadable(inputFd_, [this, &window] { onInput(window); });
  }
  draw(window);
}

void TerminalRenderer::setNeedsDisplay(Window& window) {
  if (!interactiveOutput_) {
    draw(window);
    return;
  }
  const auto sinceLastDraw = Clock::now() - lastDraw_;
  if (signatureOf(window) != lastSignature_ || sinceLastDraw >= kFrameInterval) {
    draw(window);
  } else if (!drawPending_) {
    drawPending_ = true;
    const double delay = std::chrono::duration<double>(kFrameInterval - sinceLastDraw).count();
    loop_.addTimer(delay, [this] {
      drawPending_ = false;
      if (shown_ != nullptr) {
        draw(*shown_);
      }
    });
  }
  if (window.progressIndicator().isIndeterminate() && window.progressIndicator().isAnimating()) {
    scheduleAnimation(window);
  }
}

void TerminalRenderer::close(Window& window) {
  if (shown_ != &window) {
    return;
  }
  shown_ = nullptr;
  stopInput();
  if (interactiveOutput_) {
    // The drawing stood for a window that is gone: what follows (the install agent's own
    // output) comes right below the lines logged above it.
    console::clearLiveRegion();
  } else {
    draw(window);  // its last status text
  }
}

void TerminalRenderer::draw(Window& window) {
  lastDraw_ = Clock::now();
  if (!interactiveOutput_) {
    const std::string& status = window.statusText().stringValue();
    if (status != lastStatusLine_) {
      lastStatusLine_ = status;
      console::writeLine(status);
    }
    return;
  }
  lastSignature_ = signatureOf(window);
  // The width is read at each drawing, so a resized terminal gets lines that fit it. The last
  // column stays free: a line that reaches it leaves the cursor waiting to wrap, which terminals
  // settle differently (some then erase its last character with the line's end).
  console::setLiveRegion(render(window, columns() - 1, true, animationPhase_, interactiveInput_));
}

void TerminalRenderer::scheduleAnimation(Window& window) {
  if (animationScheduled_ || !interactiveOutput_) {
    return;
  }
  animationScheduled_ = true;
  loop_.addTimer(kAnimationStepSeconds, [this, &window] {
    animationScheduled_ = false;
    if (shown_ != &window) {
      return;
    }
    ++animationPhase_;
    setNeedsDisplay(window);
  });
}

void TerminalRenderer::onInput(Window& window) {
  char keys[256];
  const ssize_t count = ::read(inputFd_, keys, sizeof keys);
  if (count <= 0) {
    stopInput();  // end of input: no more keys can come
    return;
  }
  // The terminal echoed the line, and its line end moved the cursor below the drawing.
  const auto lines = static_cast<size_t>(std::count(keys, keys + count, '\n'));
  if (interactiveOutput_) {
    console::noteEchoedLines(lines);
  }
  if (lines > 0 && shown_ == &window && window.button().keyEquivalent() == "\r") {
    window.button().performClick();
  }
}

void TerminalRenderer::stopInput() {
  if (interactiveInput_ && !inputStopped_) {
    inputStopped_ = true;
    loop_.unwatch(inputFd_);
  }
}

size_t TerminalRenderer::columns() const {
  winsize size{};
  if (::ioctl(outputFd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
    return size.ws_col;
  }
  return 80;
}

}  // namespace fw
