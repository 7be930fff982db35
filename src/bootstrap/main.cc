#include <unistd.h>

#include <cstdio>

#include "bootstrap/main_flow.h"
#include "bootstrap/report.h"
#include "framework/os/termination.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

int main(int argc, char** argv) {
  // SIGINT, SIGTERM and SIGHUP end the run in order instead of where it stands.
  fw::termination::install();
  const int result =
      bootstrapInstallerMainFunc(argc, const_cast<const char**>(argv), report_message_main);
  if (result != 0) {
    report_message_main("Installation failed.", true);
  }
  // The run is over and all it said is out. The libraries that a download loaded (libcurl and
  // the TLS, LDAP and Kerberos libraries under it) would spend about a millisecond of the
  // user's wait tidying memory that the system takes back anyway: the process ends here,
  // without their exit handlers.
  (void)std::fflush(nullptr);  // std::cout and std::cerr write through stdio's buffers
#if defined(__SANITIZE_ADDRESS__)
  __lsan_do_leak_check();  // which would have run at exit
#endif
  ::_exit(result);
}
