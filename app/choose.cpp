#include "app/choose.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/common/lifecycle.h"
#include "app/common/presentation.h"
#include "app/desktop/desktop.h"
#include "app/script/script.h"
#include "app/terminal/window.h"
#include "platform/file_cache.h"
#include "platform/termination.h"

namespace app {
namespace {

int RunChosenFace() {
  const char* script = std::getenv("KORVEX_SCRIPT");
  if (script != nullptr && *script != '\0') script::RunScript(script);
  const char* forced = std::getenv("KORVEX_FRONTEND");
  const std::string chosen = forced != nullptr ? forced : "";
  if (chosen == "terminal") return tui::RunTerminal();
  if (chosen == "window") {
    const std::string problem = win::DisplayProblem(true);
    if (!problem.empty()) {
      std::cerr << "Start_Config: KORVEX_FRONTEND=window, but " << problem
                << ", so the window cannot be shown\n";
      return kExitOther;
    }
    return win::RunWindow();
  }
  if (!chosen.empty()) {
    std::cerr << "Start_Config: KORVEX_FRONTEND must be window or terminal, not \""
              << EscapeControls(chosen) << "\"\n";
    return kExitOther;
  }
  return win::DisplayProblem(false).empty() ? win::RunWindow() : tui::RunTerminal();
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
