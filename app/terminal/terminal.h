// The terminal the window is drawn on, through curses: the check that TERM
// names a terminal curses can drive, its modes (raw input with the terminal's
// own flow control, the alternate screen, the keypad, mouse reporting), its
// size and resizes, job control, and putting everything back on every way out.
#pragma once

#include <string>

#include "app/terminal/canvas.h"
#include "app/terminal/keys.h"

namespace tui {

// True when standard input is a terminal.
bool TerminalAvailable();

// Why the terminal named by TERM cannot show the window (no terminfo entry
// for it, or it cannot place the cursor), or "" when it can.
std::string TerminalProblem(const char* term);

// Takes the terminal into curses and installs the handlers that restore it.
// Returns an error text when that is impossible (nothing is written then).
std::string EnterTerminal();

// Puts the terminal back as it was found. Safe to call more than once.
void RestoreTerminal();

struct TerminalSize {
  int columns = 0;
  int rows = 0;
};
TerminalSize GetTerminalSize();

// The colours the terminal shows (NO_COLOR, then terminfo's colour count).
ColourDepth TerminalColours();

// Whether the terminal has a back-tab key (terminfo's kcbt); a vt100 or vt220
// has none.
bool HasBackTab();

// Ctrl-Z: stops the step's job as the shell's job control does, the terminal
// left to the shell until the job goes on. False where no shell with job
// control could ever continue it.
bool Suspend();

// Shows the canvas; curses sends only what differs from the screen. With
// whole set the screen is first cleared and drawn anew (Ctrl-L).
void ShowCanvas(const Canvas& canvas, bool whole = false);

// The next key. Waits up to timeoutMs (negative: without end); code None when
// none came. resized is set when the terminal changed its size meanwhile,
// closed when the terminal is gone.
Key ReadKey(int timeoutMs, bool& resized, bool& closed);

}  // namespace tui
