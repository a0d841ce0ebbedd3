// The desktop window's module, Start_Config_desktop.so, which lies beside the
// executable and is loaded only when the desktop window is to open, so that the
// executable itself needs no Qt.
#pragma once

#include <string>

#include "app/desktop/desktop.h"

namespace app {

inline constexpr const char* kDesktopModuleFile = "Start_Config_desktop.so";

struct DesktopModule {
  const win::Module* module = nullptr;  // loaded and of this build
  std::string problem;                  // otherwise why not, as one line
};

// Loads the module from the executable's own folder (never from the current
// folder or a search path) and checks that it belongs to this build.
DesktopModule LoadDesktopModule();

}  // namespace app
