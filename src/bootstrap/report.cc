#include "bootstrap/report.h"

#include <iostream>

void report_message_to_console(const std::string& message, bool isError) {
  std::ostream& stream = isError ? std::cerr : std::cout;
  stream << message;
  stream.put(stream.widen('\n'));
  stream.flush();
}

void report_message_main(const std::string& message, bool isError) {
  report_message_to_console(message, isError);
}
