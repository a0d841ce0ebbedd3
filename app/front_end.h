// The front ends that show the window and operate it: the scripted operation
// (KORVEX_SCRIPT) and, without a script, the full-screen terminal window.
#pragma once

namespace app {

// Exit statuses of the front ends beside those of the window's own ends.
inline constexpr int kExitOther = 1;         // not started, refused, script error
inline constexpr int kExitWindowOpen = 3;    // script or terminal ended, window open
inline constexpr int kExitSignalBase = 128;  // the shell's convention: 128 + signal

// Loads the window and runs it until the process ends; returns the exit status.
int Run();

}  // namespace app
