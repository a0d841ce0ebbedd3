// The terminal window: the step's window drawn on the terminal and operated
// with keys and the mouse. Every key or click becomes one of the actions the
// script knows, so people and scripts drive the same handlers.
#pragma once

namespace tui {

// Runs the window on the terminal until the process ends; returns the exit
// status when it cannot start (no terminal).
int RunTerminal();

}  // namespace tui
