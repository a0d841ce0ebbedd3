#include "app/choose.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/common/lifecycle.h"
#include "app/common/presentation.h"
#include "app/desktop_module.h"
#include "app/script/script.h"
#include "app/terminal/window.h"
#include "base/termination.h"
#include "files/file_cache.h"

namespace app {
namespace {

// The desktop window's module, loaded; or nothing, with the one line that says
// why it cannot be on standard error.
const win::Module* LoadedDesktop() {
  const DesktopModule desktop = LoadDesktopModule();
  if (desktop.module == nullptr)
    std::cerr << "Start_Config: the desktop window cannot be loaded: " << desktop.problem << "\n";
  return desktop.module;
}

bool DisplayNamed() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

int RunChosenFace() {
  const char* script = std::getenv("KORVEX_SCRIPT");
  if (script != nullptr && *script != '\0') script::RunScript(script);
  const char* forced = std::getenv("KORVEX_FRONTEND");
  const std::string chosen = forced != nullptr ? forced : "";
  if (chosen == "terminal") return tui::RunTerminal();
  if (chosen == "window") {
    const win::Module* desktop = LoadedDesktop();
    if (desktop == nullptr) return kExitOther;
    const std::string problem = desktop->displayProblem(true);
    if (!problem.empty()) {
      std::cerr << "Start_Config: KORVEX_FRONTEND=window, but " << problem
                << ", so the window cannot be shown\n";
      return kExitOther;
    }
    return desktop->runWindow();
  }
  if (!chosen.empty()) {
    std::cerr << "Start_Config: KORVEX_FRONTEND must be window or terminal, not \""
              << EscapeControls(chosen) << "\"\n";
    return kExitOther;
  }
  // Without a display named the module is not even looked for; where it cannot
  // be loaded, the terminal serves.
  if (!DisplayNamed()) return tui::RunTerminal();
  const win::Module* desktop = LoadedDesktop();
  if (desktop == nullptr || !desktop->displayProblem(false).empty()) return tui::RunTerminal();
  return desktop->runWindow();
}

}  // namespace

int Run() {
  // Set up before anything is read: a signal must never end the step without
  // its cancel mark.
  platform::InstallEndRequestHandlers();
  // A transcript reader that went away must not end the step half-way.
  signal(SIGPIPE, SIG_IGN);
  const int status = RunChosenFace();
  platform::SyncWrittenFiles();
  return status;
}

}  // namespace app
