#include "bootstrap/main_flow.h"
#include "bootstrap/report.h"

int main(int argc, char** argv) {
  const int result =
      bootstrapInstallerMainFunc(argc, const_cast<const char**>(argv), report_message_main);
  if (result != 0) {
    report_message_main("Installation failed.", true);
  }
  return result;
}
