// The choice of face: the script where KORVEX_SCRIPT names one; otherwise the
// desktop window where a display is at hand, else the terminal window;
// KORVEX_FRONTEND=window|terminal forces one of the two windows.
#pragma once

namespace app {

// Loads the window through the chosen face and runs it until the process
// ends; returns the exit status when it cannot start.
int Run();

}  // namespace app
