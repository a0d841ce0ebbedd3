// The full-screen terminal front end: the window drawn on the terminal and
// operated with keys and the mouse. Every key or click becomes one of the
// actions the scripted operation knows, so people and scripts drive the same
// handlers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/canvas.h"
#include "app/keys.h"
#include "app/terminal.h"
#include "app/tui_view.h"
#include "form/start_config_form.h"

namespace tui {

// The terminal and what it shows: draws the window (and a dialog over it) and
// hands out keys.
class Session {
 public:
  explicit Session(frm_Start_Config_Exe& form);

  frm_Start_Config_Exe& form;
  ViewState view;

  // Draws the window, then the overlay (a dialog), and sends the cells that
  // changed. The overlay stays for redraws after a resize until the next call.
  void Present(std::function<void(Canvas&)> overlay = nullptr);
  // Waits for the next keys. A resize redraws at once; while the terminal is
  // too small only the close keys come through. A terminal that has gone ends
  // the process with the window open.
  std::vector<Key> NextKeys();
  bool TooSmall() const;
  int Columns() const { return size_.columns; }
  int Rows() const { return size_.rows; }

 private:
  Canvas shown_;
  bool haveShown_ = false;
  std::function<void(Canvas&)> overlay_;
  std::string pending_;
  TerminalSize size_;
};

// Esc, Ctrl-Q, Ctrl-C and Alt-F4: the window's close box.
bool IsCloseKey(const Key& key);

// Runs the window on the terminal until the process ends; returns the exit
// status when it cannot start (no terminal).
int RunTerminal();

}  // namespace tui
