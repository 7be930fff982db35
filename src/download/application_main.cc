#include "download/download_bridge.h"

// The download window is not built yet: the runner ends at once, so a run that needs a
// download fails.
int CallNSApplicationMain(int /*argc*/, char** /*argv*/) {
  return 0;
}
