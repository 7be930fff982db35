#ifndef SRC_DOWNLOAD_MAIN_INTERFACE_H_
#define SRC_DOWNLOAD_MAIN_INTERFACE_H_

#include <memory>

#include "framework/ui/application.h"

/// What the application runner loads for the download window: the window with its image view,
/// progress bar, status text and button (which closes the window), and the one Download
/// controller, attached to the controls and made the application's and the window's delegate.
std::unique_ptr<fw::MainInterface> loadMainInterface(fw::Application& application,
                                                     fw::WindowRenderer& renderer);

#endif  // SRC_DOWNLOAD_MAIN_INTERFACE_H_
