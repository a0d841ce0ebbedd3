// The terminal window's session: the terminal and what it shows, the window
// (and a dialog over it) drawn through a viewport, and the keys handed out one
// at a time.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/terminal/canvas.h"
#include "app/terminal/keys.h"
#include "app/terminal/terminal.h"
#include "app/terminal/view.h"
#include "form/start_config_form.h"

namespace tui {

// The terminal and what it shows: draws the window (and a dialog over it) and
// hands out keys. A window larger than the terminal shows through a viewport
// that follows the focus.
class Session {
 public:
  explicit Session(frm_Start_Config_Exe& form);

  frm_Start_Config_Exe& form;
  ViewState view;
  // Until the window has loaded, boxes show on a clean screen.
  bool loaded = false;

  // Draws the window, then the overlay (a dialog), and shows it (whole: the
  // screen cleared and drawn anew). The overlay stays for redraws after a
  // resize until the next call.
  void Present(std::function<void(Canvas&)> overlay = nullptr, bool whole = false);
  // Waits for the next key and hands it out alone: a box that it opens gets
  // the keys typed after it, even where they came in one read. A resize
  // redraws at once and Ctrl-L redraws the whole screen. A terminal that has
  // gone ends the process with the window open.
  Key NextKey();
  // Keys have come that NextKey has not handed out yet.
  bool KeysWaiting() const { return !queued_.empty(); }
  // The characters typed (or pasted) that wait at the front, taken as one text.
  std::string TypedRun();
  // The whole window shows on the terminal, without scrolling.
  bool WindowFits() const;
  // The terminal is below the smallest size the window works at.
  bool TooSmall() const;
  int Columns() const { return size_.columns; }
  int Rows() const { return size_.rows; }
  // Maps a terminal cell onto the window's cell; false where the terminal
  // shows no part of the window (the hint line, the scroll marks, beyond).
  bool ToWindow(int& x, int& y) const;
  // Where the viewport's scroll marks are: the direction a click on (x, y)
  // scrolls, or {0, 0}.
  std::pair<int, int> ScrollMarkAt(int x, int y) const;
  // Moves the viewport by whole cells (kept inside the window).
  void ScrollView(int columns, int rows);

 private:
  // Narrows the window's fields to the terminal's width (layout.h).
  void NarrowToTerminal() const;
  void ShowWindow(Canvas& terminal);

  std::function<void(Canvas&)> overlay_;
  std::deque<Key> queued_;
  TerminalSize size_;
  Viewport viewport_;
  int left_ = 0, top_ = 0;  // the window's first column and row shown
  int shownTop_ = -1;       // the first row the terminal shows now
  // What the viewport followed last; it follows again when that changes, so a
  // view scrolled by hand stays until the focus moves.
  CellRect followed_;
  int followedX_ = -1, followedY_ = -1;
};

// Esc, Ctrl-C and Alt-F4: the window's close box.
bool IsCloseKey(const Key& key);

// Holds what is said on standard error while the window covers the terminal.
void HoldErrors();
// Puts the terminal back and writes what was said on standard error while the
// window covered the terminal.
void LeaveTerminal();

}  // namespace tui
