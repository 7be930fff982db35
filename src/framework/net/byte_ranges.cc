#include "framework/net/byte_ranges.h"

#include <strings.h>

#include <algorithm>
#include <charconv>
#include <limits>

namespace fw {

namespace {

// Reads the decimal number at the start of `text` up to `end`; none for no digits, a sign or an
// overflow.
std::optional<uint64_t> number(std::string_view& text, char end) {
  const size_t stop = end == '\0' ? text.size() : text.find(end);
  if (stop == 0 || stop == std::string_view::npos) {
    return std::nullopt;
  }
  uint64_t value = 0;
  const auto [rest, error] = std::from_chars(text.data(), text.data() + stop, value);
  if (error != std::errc() || rest != text.data() + stop) {
    return std::nullopt;
  }
  text.remove_prefix(stop == text.size() ? stop : stop + 1);
  return value;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && isBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

bool isTokenChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

// The token at the front of `text`, taken off it.
std::string_view takeToken(std::string_view& text) {
  size_t length = 0;
  while (length < text.size() && isTokenChar(text[length])) {
    ++length;
  }
  const std::string_view token = text.substr(0, length);
  text.remove_prefix(length);
  return token;
}

// The quoted string at the front of `text` (after its opening quote), unescaped and taken off.
std::optional<std::string> takeQuoted(std::string_view& text) {
  std::string value;
  for (size_t i = 1; i < text.size(); ++i) {
    if (text[i] == '"') {
      text.remove_prefix(i + 1);
      return value;
    }
    if (text[i] == '\\' && ++i == text.size()) {
      break;
    }
    value += text[i];
  }
  return std::nullopt;
}

}  // namespace

std::optional<ContentRange> parseContentRange(std::string_view value) {
  if (!value.starts_with("bytes ")) {
    return std::nullopt;
  }
  value.remove_prefix(6);
  ContentRange range;
  if (value.starts_with("*/")) {
    value.remove_prefix(2);
    range.complete = number(value, '\0');
    return range.complete ? std::optional(range) : std::nullopt;
  }
  const std::optional<uint64_t> first = number(value, '-');
  const std::optional<uint64_t> last = first ? number(value, '/') : std::nullopt;
  if (!last || *last < *first) {
    return std::nullopt;
  }
  range = {true, *first, *last, std::nullopt};
  if (value != "*") {
    range.complete = number(value, '\0');
    if (!range.complete || *range.complete <= *last) {
      return std::nullopt;
    }
  }
  return range;
}

std::string rangeHeaderValue(const std::vector<std::pair<uint64_t, uint64_t>>& ranges) {
  std::string value;
  for (const auto& [first, last] : ranges) {
    value += (value.empty() ? "bytes=" : ",") + std::to_string(first) + "-" + std::to_string(last);
  }
  return value;
}

std::optional<std::string> byterangesBoundary(std::string_view contentType) {
  const size_t typeEnd = std::min(contentType.find(';'), contentType.size());
  if (!equalsIgnoringCase(trimBlanks(contentType.substr(0, typeEnd)), "multipart/byteranges")) {
    return std::nullopt;
  }
  std::string_view rest = contentType.substr(typeEnd);
  std::optional<std::string> boundary;
  while (!(rest = trimBlanks(rest)).empty()) {
    if (rest.front() != ';') {
      return std::nullopt;
    }
    rest = trimBlanks(rest.substr(1));
    if (rest.empty() || rest.front() == ';') {
      continue;  // an empty parameter
    }
    const std::string_view name = takeToken(rest);
    if (name.empty() || rest.empty() || rest.front() != '=') {
      return std::nullopt;
    }
    rest.remove_prefix(1);
    std::optional<std::string> value =
        rest.empty() || rest.front() != '"' ? std::string(takeToken(rest)) : takeQuoted(rest);
    if (!value) {
      return std::nullopt;
    }
    if (equalsIgnoringCase(name, "boundary")) {
      boundary = std::move(value);
    }
  }
  if (!boundary || boundary->empty() || boundary->size() > 70) {
    return std::nullopt;
  }
  return boundary;
}

ByterangesParser::ByterangesParser(std::string boundary, DataFn onData)
    : delimiter_("\r\n--" + boundary), onData_(std::move(onData)) {}

bool ByterangesParser::fail(const char* why) {
  state_ = State::kFailed;
  error_ = why;
  return false;
}

bool ByterangesParser::readLine(std::string_view& piece, std::optional<std::string_view>* line) {
  const size_t end = piece.find('\n');
  const size_t taken = end == std::string_view::npos ? piece.size() : end + 1;
  if (line_.size() + taken > kMaxHeaderBlock) {
    return fail("a part's header block or a line around the parts is too long");
  }
  line_.append(piece.substr(0, taken));
  piece.remove_prefix(taken);
  if (end != std::string_view::npos) {
    std::string_view text(line_);
    text.remove_suffix(1);
    if (!text.empty() && text.back() == '\r') {
      text.remove_suffix(1);
    }
    *line = text.substr(text.rfind('\n') + 1);  // a header block's last line
  }
  return true;
}

bool ByterangesParser::onPreambleLine(std::string_view line) {
  const std::string_view dashBoundary = std::string_view(delimiter_).substr(2);
  if (line.substr(0, dashBoundary.size()) != dashBoundary) {
    return true;
  }
  const std::string_view rest = line.substr(dashBoundary.size());
  if (rest.substr(0, 2) == "--" && trimBlanks(rest.substr(2)).empty()) {
    return fail("a body without parts");
  }
  if (trimBlanks(rest).empty()) {
    state_ = State::kHeaders;
  }
  return true;
}

bool ByterangesParser::onHeaderLine(std::string_view line) {
  if (!line.empty()) {
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) {
      return fail("a malformed header line in a part");
    }
    if (equalsIgnoringCase(line.substr(0, colon), "Content-Range")) {
      if (partRange_) {
        return fail("a part with two Content-Range fields");
      }
      partRange_ = parseContentRange(trimBlanks(line.substr(colon + 1)));
      // A range of all 2^64 bytes has a length that no number holds.
      if (!partRange_ || !partRange_->satisfied ||
          partRange_->last - partRange_->first == std::numeric_limits<uint64_t>::max()) {
        return fail("a part with a malformed or unsatisfied Content-Range");
      }
    }
    return true;
  }
  if (!partRange_) {
    return fail("a part without a Content-Range");
  }
  if (parts_ > 0 && completeLength_ != partRange_->complete) {
    return fail("parts of different complete lengths");
  }
  ++parts_;
  completeLength_ = partRange_->complete;
  dataOffset_ = partRange_->first;
  dataLeft_ = partRange_->last - partRange_->first + 1;
  partRange_.reset();
  state_ = State::kData;
  return true;
}

bool ByterangesParser::onBoundaryLineEnd(std::string_view rest) {
  const bool closing = rest.substr(0, 2) == "--";
  if (!trimBlanks(closing ? rest.substr(2) : rest).empty()) {
    return fail("a boundary followed by other bytes on its line");
  }
  state_ = closing ? State::kEpilogue : State::kHeaders;
  return true;
}

bool ByterangesParser::feed(std::string_view piece, std::string* error) {
  while (!piece.empty() && state_ != State::kFailed) {
    if (state_ == State::kData) {
      const auto length = static_cast<size_t>(std::min<uint64_t>(dataLeft_, piece.size()));
      onData_(dataOffset_, piece.substr(0, length));
      dataOffset_ += length;
      dataLeft_ -= length;
      piece.remove_prefix(length);
      if (dataLeft_ == 0) {
        state_ = State::kDelimiter;
        matched_ = 0;
      }
    } else if (state_ == State::kDelimiter) {
      for (; !piece.empty() && matched_ < delimiter_.size(); ++matched_) {
        if (piece.front() != delimiter_[matched_]) {
          fail("a part whose data is not as long as its Content-Range");
          break;
        }
        piece.remove_prefix(1);
      }
      if (matched_ == delimiter_.size()) {
        state_ = State::kAfterBoundary;
      }
    } else if (state_ == State::kEpilogue) {
      piece = {};
    } else {
      std::optional<std::string_view> line;
      if (!readLine(piece, &line) || !line) {
        continue;
      }
      const State state = state_;
      const bool read = state == State::kPreamble  ? onPreambleLine(*line)
                        : state == State::kHeaders ? onHeaderLine(*line)
                                                   : onBoundaryLineEnd(*line);
      // A header block stays whole until its end, to bound it in all.
      if (read && (state != State::kHeaders || state_ != State::kHeaders)) {
        line_.clear();
      }
    }
  }
  if (state_ == State::kFailed) {
    *error = error_;
    return false;
  }
  return true;
}

bool ByterangesParser::finish(std::string* error) {
  if (state_ == State::kAfterBoundary && line_.substr(0, 2) == "--" &&
      trimBlanks(std::string_view(line_).substr(2)).empty()) {
    state_ = State::kEpilogue;  // the closing boundary, without a line end
  }
  if (state_ == State::kEpilogue) {
    return true;
  }
  if (state_ != State::kFailed) {
    fail("the body ended before its closing boundary");
  }
  *error = error_;
  return false;
}

}  // namespace fw
