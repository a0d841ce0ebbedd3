#include "app/terminal/session.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "app/common/lifecycle.h"
#include "base/termination.h"

namespace tui {
namespace {

// What is written on standard error while the window covers the terminal; it
// would vanish with the window's screen, so it is written after it.
std::ostringstream held;
std::streambuf* realErrors = nullptr;

}  // namespace

void HoldErrors() {
  if (realErrors == nullptr) realErrors = std::cerr.rdbuf(held.rdbuf());
}

// ---------------------------------------------------------------------------
// Session

namespace {

// What the viewport keeps in view: the focused control, or the open drop-down
// list with its control; inside a long list its highlighted entry, in a text
// box the caret.
struct ViewTarget {
  CellRect rect;
  int x = -1, y = -1;
};

ViewTarget FocusTarget(const ui::Window& window, ViewState& view, const Canvas& drawn,
                       int viewHeight) {
  ViewTarget t;
  ui::Control* c = view.dropDown != nullptr ? view.dropDown : window.Focused();
  if (c == nullptr || !c->Shown()) return t;
  t.rect = ControlCells(*c);
  t.x = t.rect.x;
  t.y = t.rect.y;
  int lit = -1;
  CellRect list = t.rect;
  if (view.dropDown != nullptr) {
    list = DropDownCells(*c, drawn.Height());
    const int top = std::min(t.rect.y, list.y);
    t.rect.height = std::max(t.rect.y + t.rect.height, list.y + list.height) - top;
    t.rect.y = top;
    lit = view.dropHighlight;
  } else if (c->kind() == ui::Kind::DirListBox) {
    lit = view.folderHighlight >= 0 && view.folderHighlight < static_cast<int>(view.folders.size())
              ? view.folderHighlight
              : app::CurrentFolderEntry(view.folders);
  } else if (c->kind() == ui::Kind::ListBox) {
    lit = std::max(0, app::SelectedEntry(*c));
  }
  if (lit >= 0) t.y = list.y + std::clamp(lit - view.firstShown[c], 0, list.height - 1);
  if (drawn.CursorShown()) {
    t.x = drawn.CursorX();
    t.y = drawn.CursorY();
    // A wide text box is followed from its start to the caret, so that what
    // stands left of it (its label, its button) stays in view where it can.
    if (view.dropDown == nullptr && c->kind() == ui::Kind::TextBox)
      t.rect.width = std::clamp(t.x - t.rect.x + 2, 1, t.rect.width);
  }
  const ui::Control* label = view.dropDown == nullptr ? LabelBefore(window, *c) : nullptr;
  const CellRect labelCells = label != nullptr ? ControlCells(*label) : CellRect{};
  t.rect = KeepInView(t.rect, label != nullptr ? &labelCells : nullptr, viewHeight);
  return t;
}

}  // namespace

Session::Session(frm_Start_Config_Exe& f) : form(f) {
  view.depth = TerminalColours();
  size_ = GetTerminalSize();
}

bool Session::TooSmall() const {
  const WindowCells needed = WindowLayout(form.window);
  return size_.columns < std::min(kMinColumns, needed.width) ||
         size_.rows < std::min(kMinRows, needed.Height());
}

void Session::NarrowToTerminal() const {
  // On a terminal narrower than the window the fields are narrowed rather
  // than the view moved sideways, which would send the whole screen again.
  const bool scrolls = WindowLayout(form.window).Height() > size_.rows;
  NarrowToFit(form.window, app::ClientPosition(*form.ComboSupplier).left,
              size_.columns - (scrolls ? 1 : 0));
}

bool Session::WindowFits() const {
  NarrowToTerminal();
  return !FitViewport(WindowLayout(form.window), size_.columns, size_.rows).Scrolls();
}

void Session::Present(std::function<void(Canvas&)> overlay, bool whole) {
  overlay_ = std::move(overlay);
  NarrowToTerminal();
  Canvas next(size_.columns, size_.rows);
  // Boxes before the window has loaded, and at a terminal too small for it,
  // have the whole terminal.
  view.boxArea = {0, 0, size_.columns, size_.rows};
  view.hintRow = -1;
  if (loaded && TooSmall())
    DrawTooSmall(next, kMinColumns, kMinRows);
  else if (loaded)
    ShowWindow(next);
  if (overlay_) overlay_(next);
  ShowCanvas(next, whole);
}

void Session::ShowWindow(Canvas& terminal) {
  const WindowCells cells = WindowLayout(form.window);
  Canvas drawn(cells.width, cells.Height());
  DrawWindow(drawn, form.window, view);
  viewport_ = FitViewport(cells, size_.columns, size_.rows);
  if (!viewport_.Scrolls()) {
    left_ = top_ = 0;
    terminal.Copy(drawn, 0, 0, drawn.Width(), drawn.Height());
    if (drawn.CursorShown()) terminal.SetCursor(drawn.CursorX(), drawn.CursorY());
    view.boxArea = {0, 0, cells.width, cells.Height() - 1};
    view.hintRow = cells.Height() - 1;
    return;
  }

  const ViewTarget t = FocusTarget(form.window, view, drawn, viewport_.height);
  if (!(t.rect == followed_) || t.x != followedX_ || t.y != followedY_) {
    followed_ = t.rect;
    followedX_ = t.x;
    followedY_ = t.y;
    if (t.rect.width > 0) {
      left_ = FollowInView(left_, t.rect.x, t.rect.width, t.x, viewport_.width, cells.width);
      top_ = FollowInView(top_, t.rect.y, t.rect.height, t.y, viewport_.height, cells.Height() - 1);
    }
  }
  left_ = std::clamp(left_, 0, cells.width - viewport_.width);
  top_ = std::clamp(top_, 0, cells.Height() - 1 - viewport_.height);
  terminal.Copy(drawn, left_, top_, viewport_.width, viewport_.height);
  if (drawn.CursorShown()) {
    const int x = drawn.CursorX() - left_, y = drawn.CursorY() - top_;
    if (x >= 0 && y >= 0 && x < viewport_.width && y < viewport_.height) terminal.SetCursor(x, y);
  }
  view.boxArea = {0, 0, viewport_.width, viewport_.height};

  // The hint line stays at the bottom; marks show where more of the window
  // lies: arrows, unlike a drop-down list's triangle.
  const int hintRow = size_.rows - 1;
  view.hintRow = hintRow;
  DrawHintBar(terminal, hintRow, size_.columns, form.window, view);
  // The marks' column is the window's face, so that the rows beside it end
  // without a change of colour.
  if (viewport_.vertical) terminal.Fill(size_.columns - 1, 0, 1, viewport_.height, WindowStyle());
  const Style mark = ButtonStyle(view, false);
  if (viewport_.horizontal) {
    if (left_ > 0) terminal.Set(0, hintRow, U'←', mark);
    if (left_ + viewport_.width < cells.width) terminal.Set(size_.columns - 1, hintRow, U'→', mark);
  }
  if (viewport_.vertical) {
    const int x = size_.columns - 1, rows = viewport_.height, total = cells.Height() - 1;
    if (top_ > 0) terminal.Set(x, 0, U'↑', mark);
    if (top_ + rows < total) terminal.Set(x, rows - 1, U'↓', mark);
  }
  // Curses scrolls the rows a jump keeps only when they outnumber the rows
  // it moves them by; a longer jump goes in two halves, each scrolled, rather
  // than as a whole screen sent again.
  const int jump = top_ - shownTop_, kept = viewport_.height - std::abs(jump);
  if (shownTop_ >= 0 && !overlay_ && kept >= 3 && kept < std::abs(jump)) {
    Canvas half = terminal;
    half.HideCursor();  // its place is that of the final rows
    half.Copy(drawn, left_, shownTop_ + jump / 2, viewport_.width, viewport_.height);
    ShowCanvas(half, false);
  }
  shownTop_ = top_;
}

bool Session::ToWindow(int& x, int& y) const {
  if (!loaded || TooSmall()) return false;
  if (!viewport_.Scrolls()) return true;
  if (x < 0 || y < 0 || x >= viewport_.width || y >= viewport_.height) return false;
  x += left_;
  y += top_;
  return true;
}

std::pair<int, int> Session::ScrollMarkAt(int x, int y) const {
  if (!loaded || TooSmall() || !viewport_.Scrolls()) return {0, 0};
  const int hintRow = size_.rows - 1;
  if (viewport_.horizontal && y == hintRow && x == 0) return {-1, 0};
  if (viewport_.horizontal && y == hintRow && x == size_.columns - 1) return {1, 0};
  if (viewport_.vertical && x == size_.columns - 1 && y < viewport_.height)
    return {0, y < viewport_.height / 2 ? -1 : 1};
  return {0, 0};
}

void Session::ScrollView(int columns, int rows) {
  left_ += columns;
  top_ += rows;  // Present keeps it inside the window
}

Key Session::NextKey() {
  while (queued_.empty()) {
    bool resized = false, closed = false;
    // What has come so far is taken at once, so that a paste is one batch.
    for (int wait = -1;; wait = 0) {
      Key key = ReadKey(wait, resized, closed);
      platform::CheckTermination();
      if (closed) app::EndWithWindowOpen(form, "the terminal has gone", LeaveTerminal);
      if (resized) {
        size_ = GetTerminalSize();
        followed_ = {};  // the focus is brought into view again
        Present(overlay_);
      }
      if (key.code == KeyCode::None) {
        if (resized) continue;
        break;
      }
      // Ctrl-L paints the whole screen again, whatever another program wrote on it.
      if (key.IsCtrl('l')) {
        Present(overlay_, true);
      } else if (key.IsCtrl('z') && Suspend()) {
        size_ = GetTerminalSize();  // stopped and continued by now
        Present(overlay_, true);
      } else {
        queued_.push_back(std::move(key));
      }
    }
  }
  const Key key = queued_.front();
  queued_.pop_front();
  return key;
}

std::string Session::TypedRun() {
  std::string text;
  while (!queued_.empty() && queued_.front().code == KeyCode::Char && !queued_.front().ctrl &&
         !queued_.front().alt) {
    text += queued_.front().text;
    queued_.pop_front();
  }
  return text;
}

void LeaveTerminal() {
  RestoreTerminal();
  if (realErrors == nullptr) return;
  std::cerr.rdbuf(realErrors);
  realErrors = nullptr;
  std::cerr << held.str() << std::flush;
  held.str("");
}

bool IsCloseKey(const Key& key) {
  return key.code == KeyCode::Escape || key.IsCtrl('c') || (key.code == KeyCode::F4 && key.alt);
}

}  // namespace tui
