#include "bootstrap/main_flow.h"
#include "bootstrap/report.h"
#include "framework/os/termination.h"

int main(int argc, char** argv) {
  // SIGINT, SIGTERM and SIGHUP end the run in order instead of where it stands.
  fw::termination::install();
  const int result =
      bootstrapInstallerMainFunc(argc, const_cast<const char**>(argv), report_message_main);
  if (result != 0) {
    report_message_main("Installation failed.", true);
  }
  return result;
}
