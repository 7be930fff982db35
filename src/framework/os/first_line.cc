#include "framework/os/first_line.h"

#include <algorithm>
#include <fstream>

namespace fw {

FirstLine readFirstLine(const std::string& path, size_t maxLength) {
  FirstLine result;
  std::ifstream file(path, std::ios::in | std::ios::binary);
  if (!file.is_open()) {
    return result;
  }
  result.opened = true;
  char buffer[4096];
  while (file) {
    const size_t wanted = std::min(sizeof buffer, maxLength + 1 - result.text.size());
    file.read(buffer, static_cast<std::streamsize>(wanted));
    const auto got = static_cast<size_t>(file.gcount());
    const char* end = std::find(buffer, buffer + got, '\n');
    result.text.append(buffer, static_cast<size_t>(end - buffer));
    if (end != buffer + got) {
      break;  // the line feed ends the line
    }
    if (result.text.size() > maxLength) {
      result.tooLong = true;
      result.text.resize(maxLength);
      break;
    }
  }
  return result;
}

}  // namespace fw
