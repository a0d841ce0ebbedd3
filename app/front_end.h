// The front ends that show the window and operate it: the scripted operation
// (KORVEX_SCRIPT) and, without a script, the full-screen terminal window.
#pragma once

namespace app {

// Loads the window and runs it until the process ends; returns the exit status.
int Run();

}  // namespace app
