// The terminal the window is drawn on: raw input, the alternate screen, mouse
// reporting, its size and resizes, and putting everything back on every way
// out (a normal end, the process ending at once, a signal, a crash).
#pragma once

#include <string>
#include <string_view>

namespace tui {

// True when standard input is a terminal.
bool TerminalAvailable();

// Why the terminal named by TERM cannot show the window (it cannot place the
// cursor, or it is unknown here), or "" when it can. Names outside the common
// families are looked up in the terminfo database.
std::string TerminalProblem(const char* term);

// Switches the terminal to raw input, the alternate screen and mouse
// reporting, with the cursor hidden, and installs the handlers that restore it;
// takes the character set from the locale. Returns an error text when that is
// impossible (nothing is written to the terminal then).
std::string EnterTerminal();

// Puts the terminal back as it was found. Safe to call more than once and
// from a signal handler.
void RestoreTerminal();

struct TerminalSize {
  int columns = 0;
  int rows = 0;
};
TerminalSize GetTerminalSize();

// Ctrl-Z: stops the step's job as the shell's job control does (the terminal
// is left to the shell until the job goes on). False where no shell with job
// control could ever continue it.
bool Suspend();

// True once after the terminal was taken back from a stop: the whole screen
// has to be drawn anew.
bool RepaintNeeded();

// Writes all of the bytes to the terminal.
void WriteTerminal(std::string_view bytes);

// Waits up to timeoutMs (negative: without end) for input; returns what came.
// resized is set when the terminal changed its size meanwhile; closed when the
// terminal is gone (end of input or a hang-up).
std::string ReadTerminal(int timeoutMs, bool& resized, bool& closed);

}  // namespace tui
