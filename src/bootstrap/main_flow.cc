// The bootstrap installer's main flow. The program installs nothing itself: it gets the install
// agent onto disk in current, runnable form (shipped in the bundle, or downloaded into the
// per-user cache) and hands over to it with the user's own arguments and the path of the
// installation bundle. It exits 0 only when the install agent ran and ended with status 0.

#include "bootstrap/main_flow.h"

#include <cstdlib>
#include <string>

#include "download/window_language.h"
#include "platform/command_line.h"
#include "platform/install_locations.h"
#include "platform/shared_constants.h"
#include "platform/temp_dir.h"
#include "provisioning/endpoint_file.h"
#include "provisioning/launch.h"
#include "provisioning/source_install_agent.h"
#include "provisioning/unpack.h"

int bootstrapInstallerMainFunc(int argc, const char** argv, ReportFn report) {
  // Declared first so that it is destroyed last, on every return.
  const TempDir tempDir("tmp_install_dir");
  // The window speaks its user's language from catalogs in this run's own directory.
  speakUsersLanguage(tempDir.getDir());

  std::string workingDir = tempDir.getDir();
  if (workingDir.empty() || std::getenv("__ZR_BOOTSTRAP_INSTALLER_UNITTEST__") != nullptr) {
    workingDir = getDirectoryOfExecutable();
  }
  const std::string bundleLocation = getBundleLocation();

  const int payloadStatus = extractPayloadToDir(workingDir, false, report);
  if (payloadStatus != 0) {
    report("Internal error: Failed to initialize application installer (" +
               std::to_string(payloadStatus) + ")",
           true);
    return -1;
  }

  const std::string endpointUrl =
      readEndpointUrlFile(bundleLocation + PATH_SEPARATOR + "installAgentURL.txt", report);

  const std::string installAgentPath = sourceInstallAgent(workingDir, endpointUrl, report);
  if (installAgentPath.empty()) {
    return -1;
  }

  const std::string installCommand = "sh " + smart_quote(installAgentPath);
  if (!fireInstallAgentWithArgs(installAgentPath, installCommand, bundleLocation, argc, argv,
                                report)) {
    report("Application install was not successful.", true);
    return -1;
  }
  return 0;
}
