// The graphical front end: the step's window as a desktop window (Qt Widgets),
// over the same window model and the same actions as the script and the
// terminal window. Nothing of Qt shows in this header, so that the choice of
// front end needs no Qt.
#pragma once

#include <string>

namespace win {

// Why no window can be shown here ("" when a display is at hand): neither
// DISPLAY nor WAYLAND_DISPLAY is set, or the display they name cannot be
// reached.
std::string DisplayProblem();

// Runs the window until the process ends; returns the exit status when it
// cannot start.
int RunWindow();

}  // namespace win
