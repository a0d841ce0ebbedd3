// The graphical front end: the step's window as a desktop window (Qt Widgets),
// over the same window model and the same actions as the script and the
// terminal window. Nothing of Qt shows in this header, so that the choice of
// front end needs no Qt.
#pragma once

#include <string>

namespace win {

// Why no window can be shown here ("" when one can). Unasked (forced false)
// only a real display counts: an X display that answers, or a Wayland one
// where Qt's plugin is installed; an inherited QT_QPA_PLATFORM of another kind
// (offscreen, minimal, linuxfb, ...) is set aside for it, so that a terminal
// left with one gets the terminal window. Forced, a platform QT_QPA_PLATFORM
// names other than X or Wayland is taken as asked; RunWindow opens it before
// the step reads or writes anything.
std::string DisplayProblem(bool forced);

// Opens the platform, then runs the window until the process ends; returns the
// exit status when it cannot start (a platform that does not open: one line on
// standard error and status 1, every file untouched).
int RunWindow();

// What the module of the desktop window hands the executable that loads it.
// The stamp comes first and stays first: a module of another build is told by
// it, and refused, before anything else of it is used.
struct Module {
  const char* stamp;  // the build's KORVEX_MODULE_STAMP
  std::string (*displayProblem)(bool forced);
  int (*runWindow)();
};

}  // namespace win

// The module's one entry, looked up by this name once it is loaded.
extern "C" const win::Module* korvex_desktop_module();
