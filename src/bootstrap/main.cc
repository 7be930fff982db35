#include <csignal>

#include "bootstrap/main_flow.h"
#include "bootstrap/report.h"
#include "framework/termination.h"

int main(int argc, char** argv) {
  // SIGINT, SIGTERM and SIGHUP end the run in order instead of where it stands.
  fw::termination::install();
  // A file-size limit makes a write fail (a full disk, in effect) instead of killing the run
  // half-way. Child processes get the default back.
  (void)std::signal(SIGXFSZ, SIG_IGN);
  const int result =
      bootstrapInstallerMainFunc(argc, const_cast<const char**>(argv), report_message_main);
  if (result != 0) {
    report_message_main("Installation failed.", true);
  }
  return result;
}
