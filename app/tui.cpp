#include "app/tui.h"

#include <algorithm>
#include <iostream>
#include <memory>
#include <sstream>

#include "app/actions.h"
#include "app/front_end.h"
#include "app/instance.h"
#include "app/tui_dialogs.h"
#include "platform/file_cache.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "platform/termination.h"
#include "platform/text.h"

namespace tui {
namespace {

using app::kExitOther;
using app::kExitSignalBase;
using app::kExitWindowOpen;
constexpr int kEscapeWaitMs = 30;  // how long the rest of an escape sequence may take

// What is written on standard error while the window covers the terminal; it
// would vanish with the window's screen, so it is written after it.
std::ostringstream held;
std::streambuf* realErrors = nullptr;

void HoldErrors() {
  if (realErrors == nullptr) realErrors = std::cerr.rdbuf(held.rdbuf());
}

// ---------------------------------------------------------------------------
// Actions: every key and click ends here, as the scripted operation's actions.

// Why a click on a control that cannot be used did nothing. OK is the one a
// new installer reaches for first; it says what it waits for.
std::string WhyIgnored(const frm_Start_Config_Exe& form, const ui::Control& c) {
  if (&c == form.CommandOK && c.Shown() && !c.Enabled())
    return "OK waits for an accepted Save & Restore copy, opened in \"" +
           CaptionShown(form.LabelSAR1->Caption()).text + "\"";
  return "ignored: " + c.DisplayName() + (c.Shown() ? " is disabled" : " is hidden");
}

void Act(Session& s, const std::string& verb, const ui::Control* c = nullptr,
         const std::string& argument = "") {
  std::string said, error;
  if (!app::ApplyUserAction(s.form, verb, c, argument, said, error)) {
    s.view.note = error;
    return;
  }
  if (said.rfind("ignored: ", 0) == 0)
    s.view.note = c != nullptr ? WhyIgnored(s.form, *c) : said.substr(0, said.find('\n'));
}

// Picks an entry of a combo box, list box or drive list as a user would.
void Choose(Session& s, ui::Control& c, int index) {
  const std::vector<std::string> entries = ListEntries(c);
  if (index < 0 || index >= static_cast<int>(entries.size())) return;
  Act(s, c.kind() == ui::Kind::DriveListBox ? "drive" : "select", &c, entries[index]);
}

// The next entry, after `from`, whose text starts with the typed letter.
int EntryByLetter(const std::vector<std::string>& entries, int from, const std::string& letter) {
  const int count = static_cast<int>(entries.size());
  const std::string wanted = platform::UpperCase(letter);
  for (int k = 1; k <= count; ++k) {
    const int i = (std::max(from, -1) + k) % count;
    if (platform::UpperCase(platform::LeftChars(entries[i], 1)) == wanted) return i;
  }
  return -1;
}

void MoveFocusBy(Session& s, int direction) {
  const std::vector<ui::Control*> all = TabOrder(s.form.window);
  const int n = static_cast<int>(all.size());
  if (n == 0) return;
  const auto at = std::find(all.begin(), all.end(), s.form.window.Focused());
  int i = at == all.end() ? (direction > 0 ? -1 : n) : static_cast<int>(at - all.begin());
  for (int step = 0; step < n; ++step) {
    i = (i + direction + n) % n;
    ui::Control* c = all[i];
    if (c->Usable()) {
      Act(s, "focus", c);
      return;
    }
    // Passing over a disabled OK says what it waits for.
    if (c == s.form.CommandOK && c->Shown()) s.view.note = WhyIgnored(s.form, *c);
  }
}

// Alt and a letter: the control whose caption marks that letter as its access
// key, clicked or given the focus.
bool AccessKey(Session& s, const Key& key) {
  const AccessTarget target = AccessKeyTarget(s.form.window, key.text);
  if (target.control != nullptr) Act(s, target.click ? "click" : "focus", target.control);
  return target.matched;
}

void OpenDropDown(Session& s, ui::Control& c) {
  s.view.dropDown = &c;
  s.view.dropHighlight = std::max(0, SelectedEntry(c));
}

// Text boxes: the caret and selection as "start length" for the caret action.
void PlaceCaret(Session& s, ui::Control& box, int anchor, int active) {
  Act(s, "caret", &box,
      std::to_string(std::min(anchor, active)) + " " + std::to_string(std::abs(active - anchor)));
}

// The end of the selection the caret stands at: the start, unless the user
// stretched the selection to the right with the Shift key.
struct Selection {
  const ui::Control* box = nullptr;
  int anchor = 0;
  int active = 0;
};
Selection selection;

void EditKey(Session& s, ui::Control& box, const Key& key) {
  const int start = box.SelStart(), length = box.SelLength();
  const int size = static_cast<int>(platform::CharCount(box.Text()));
  if (selection.box != &box || std::min(selection.anchor, selection.active) != start ||
      std::abs(selection.active - selection.anchor) != length)
    selection = {&box, start, start + length};
  const int active = selection.active;

  if (key.code == KeyCode::Char && !key.ctrl && !key.alt) {
    Act(s, "type", &box, key.text);
  } else if (key.IsCtrl('a')) {
    selection = {&box, 0, size};
    PlaceCaret(s, box, 0, size);
  } else if (key.code == KeyCode::Backspace || key.code == KeyCode::Delete) {
    if (length == 0) {
      const int from = key.code == KeyCode::Backspace ? start - 1 : start;
      if (from < 0 || from >= size) return;
      PlaceCaret(s, box, from, from + 1);
    }
    Act(s, "type", &box, "");
  } else if (key.code == KeyCode::Left || key.code == KeyCode::Right || key.code == KeyCode::Home ||
             key.code == KeyCode::End) {
    int to = key.code == KeyCode::Home   ? 0
             : key.code == KeyCode::End  ? size
             : key.code == KeyCode::Left ? (length > 0 && !key.shift ? start : active - 1)
                                         : (length > 0 && !key.shift ? start + length : active + 1);
    to = std::clamp(to, 0, size);
    selection.active = to;
    if (!key.shift) selection.anchor = to;
    PlaceCaret(s, box, selection.anchor, selection.active);
  }
}

void ListKey(Session& s, ui::Control& c, const Key& key) {
  const CellRect r = ControlCells(c);
  if (c.kind() == ui::Kind::DirListBox) {
    const std::vector<FolderEntry> entries = ShownFolders(s.view, c);
    int& lit = s.view.folderHighlight;
    if (lit < 0 || lit >= static_cast<int>(entries.size())) lit = CurrentFolderEntry(entries);
    if (IsListMove(key)) {
      lit = MoveInList(key, lit, static_cast<int>(entries.size()), r.height);
      Act(s, "click", &c);  // moving through a folder list clicks it
    } else if (key.code == KeyCode::Enter || key.IsChar(' ')) {
      const std::string path = entries[lit].path;
      s.view.folderHighlight = -1;
      Act(s, "dir", &c, path);
    }
    return;
  }
  const int count = static_cast<int>(ListEntries(c).size());
  if (count == 0) return;
  if (IsListMove(key)) {
    Choose(s, c, MoveInList(key, SelectedEntry(c), count, r.height));
  } else if (key.code == KeyCode::Enter || key.IsChar(' ')) {
    Choose(s, c, std::max(0, SelectedEntry(c)));
  }
}

void ChoiceKey(Session& s, ui::Control& c, const Key& key) {
  const std::vector<std::string> entries = ListEntries(c);
  const int count = static_cast<int>(entries.size());
  if (key.code == KeyCode::Enter || key.IsChar(' ') || key.code == KeyCode::F4 ||
      (key.alt && key.code == KeyCode::Down)) {
    OpenDropDown(s, c);
  } else if (IsListMove(key) && count > 0) {
    const int to = MoveInList(key, SelectedEntry(c), count, 8);
    if (to != SelectedEntry(c)) Choose(s, c, to);
  } else if (key.code == KeyCode::Char && !key.ctrl && !key.alt) {
    const int to = EntryByLetter(entries, SelectedEntry(c), key.text);
    if (to >= 0 && to != SelectedEntry(c)) Choose(s, c, to);
  }
}

void DropDownKey(Session& s, const Key& key) {
  ui::Control& c = *s.view.dropDown;
  const std::vector<std::string> entries = ListEntries(c);
  const int count = static_cast<int>(entries.size());
  if (IsListMove(key)) {
    s.view.dropHighlight = std::max(0, MoveInList(key, s.view.dropHighlight, count, 8));
  } else if (key.code == KeyCode::Enter || key.IsChar(' ')) {
    s.view.dropDown = nullptr;
    Choose(s, c, s.view.dropHighlight);
  } else if (key.code == KeyCode::Escape || key.code == KeyCode::Tab ||
             key.code == KeyCode::BackTab || key.code == KeyCode::F4 || IsCloseKey(key)) {
    s.view.dropDown = nullptr;
  } else if (key.code == KeyCode::Char && !key.ctrl && !key.alt) {
    const int to = EntryByLetter(entries, s.view.dropHighlight, key.text);
    if (to >= 0) s.view.dropHighlight = to;
  }
}

void Mouse(Session& s, const Key& onTerminal) {
  if (!onTerminal.press) return;
  ui::Window& window = s.form.window;
  Key key = onTerminal;
  if (!s.ToWindow(key.x, key.y)) {
    // The scroll marks, and the wheel anywhere, move the view; otherwise
    // a click beside the window closes an open list as any click would.
    const auto [dx, dy] = s.ScrollMarkAt(onTerminal.x, onTerminal.y);
    if (onTerminal.button == 0 && (dx != 0 || dy != 0)) s.ScrollView(dx * 10, dy * 8);
    if (onTerminal.button == 64 || onTerminal.button == 65)
      s.ScrollView(0, onTerminal.button == 64 ? -3 : 3);
    if (onTerminal.button == 0) s.view.dropDown = nullptr;
    return;
  }
  if (s.view.dropDown != nullptr) {
    ui::Control& c = *s.view.dropDown;
    const CellRect r = DropDownCells(c, WindowLayout(window).Height());
    s.view.dropDown = nullptr;
    if (key.button == 0 && r.Contains(key.x, key.y))
      Choose(s, c, s.view.firstShown[&c] + key.y - r.y);
    return;
  }
  ui::Control* c = ControlAt(window, key.x, key.y);
  if (key.button == 64 || key.button == 65) {
    const int step = key.button == 64 ? -3 : 3;
    if (c != nullptr && (c->kind() == ui::Kind::ListBox || c->kind() == ui::Kind::DirListBox)) {
      int& first = s.view.firstShown[c];
      first = std::max(0, first + step);
    } else {
      s.ScrollView(0, step);  // the window itself, where it is larger than the terminal
    }
    return;
  }
  if (key.button != 0) return;
  const WindowCells cells = WindowLayout(window);
  if (key.y == 0 && key.x >= cells.width - 3 && key.x < cells.width) {
    Act(s, "close");
    return;
  }
  if (c == nullptr) return;
  if (!c->Usable()) {
    s.view.note = WhyIgnored(s.form, *c);
    return;
  }
  const CellRect r = ControlCells(*c);
  const int row = s.view.firstShown[c] + key.y - r.y;
  switch (c->kind()) {
    case ui::Kind::ComboBox:
    case ui::Kind::DriveListBox:
      Act(s, "focus", c);
      if (c->Usable()) OpenDropDown(s, *c);
      break;
    case ui::Kind::TextBox: {
      Act(s, "click", c);
      const int caret = c->SelStart();
      const int offset = caret >= r.width ? caret - r.width + 1 : 0;
      Act(s, "caret", c, std::to_string(std::max(0, key.x - r.x + offset)));
      break;
    }
    case ui::Kind::ListBox:
      if (row < static_cast<int>(ListEntries(*c).size()))
        Choose(s, *c, row);
      else
        Act(s, "click", c);
      break;
    case ui::Kind::DirListBox: {
      const std::vector<FolderEntry> entries = ShownFolders(s.view, *c);
      if (row >= static_cast<int>(entries.size())) {
        Act(s, "focus", c);
      } else if (row == s.view.folderHighlight && window.Focused() == c) {
        s.view.folderHighlight = -1;  // the second click opens the folder
        Act(s, "dir", c, entries[row].path);
      } else {
        s.view.folderHighlight = row;
        Act(s, "click", c);
      }
      break;
    }
    default:
      Act(s, "click", c);
  }
}

void HandleKey(Session& s, const Key& key) {
  // A button's release ends the click that may just have left a note.
  if (key.code == KeyCode::Mouse && !key.press) return;
  s.view.note.clear();
  frm_Start_Config_Exe& form = s.form;
  if (s.TooSmall()) {
    if (IsCloseKey(key)) Act(s, "close");
    return;
  }
  if (key.code == KeyCode::Mouse) return Mouse(s, key);
  if (s.view.dropDown != nullptr) return DropDownKey(s, key);
  if (IsCloseKey(key)) return Act(s, "close");
  if (key.code == KeyCode::Char && key.alt && !key.ctrl && AccessKey(s, key)) return;
  if (key.code == KeyCode::F1) return Act(s, "click", form.CommandQuest);
  if (key.code == KeyCode::Tab) return MoveFocusBy(s, 1);
  if (key.code == KeyCode::BackTab) return MoveFocusBy(s, -1);

  ui::Control* c = form.window.Focused();
  if (c == nullptr || !c->Usable()) {
    if (IsListMove(key) || key.code == KeyCode::Enter) MoveFocusBy(s, 1);
    return;
  }
  switch (c->kind()) {
    case ui::Kind::CommandButton:
    case ui::Kind::CheckBox:
      if (key.code == KeyCode::Enter || key.IsChar(' ')) Act(s, "click", c);
      break;
    case ui::Kind::ComboBox:
    case ui::Kind::DriveListBox:
      ChoiceKey(s, *c, key);
      break;
    case ui::Kind::TextBox:
      EditKey(s, *c, key);
      break;
    case ui::Kind::ListBox:
    case ui::Kind::DirListBox:
      ListKey(s, *c, key);
      break;
    default:
      break;
  }
}

}  // namespace

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

ViewTarget FocusTarget(const ui::Window& window, ViewState& view, const Canvas& drawn) {
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
              : CurrentFolderEntry(view.folders);
  } else if (c->kind() == ui::Kind::ListBox) {
    lit = std::max(0, SelectedEntry(*c));
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
  return t;
}

}  // namespace

Session::Session(frm_Start_Config_Exe& f) : form(f) {
  view.depth = DetectColourDepth();
  size_ = GetTerminalSize();
}

bool Session::TooSmall() const {
  const WindowCells needed = WindowLayout(form.window);
  return size_.columns < std::min(kMinColumns, needed.width) ||
         size_.rows < std::min(kMinRows, needed.Height());
}

void Session::Present(std::function<void(Canvas&)> overlay) {
  overlay_ = std::move(overlay);
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
  WriteTerminal(Render(haveShown_ ? &shown_ : nullptr, next, view.depth));
  shown_ = std::move(next);
  haveShown_ = true;
}

void Session::ShowWindow(Canvas& terminal) {
  const WindowCells cells = WindowLayout(form.window);
  Canvas drawn(cells.width, cells.Height());
  DrawWindow(drawn, form.window, view);
  viewport_ = FitViewport(cells, size_.columns, size_.rows);
  if (!viewport_.Scrolls()) {
    left_ = top_ = 0;
    for (int y = 0; y < drawn.Height(); ++y)
      for (int x = 0; x < drawn.Width(); ++x)
        terminal.Set(x, y, drawn.At(x, y).ch, drawn.At(x, y).style);
    if (drawn.CursorShown()) terminal.SetCursor(drawn.CursorX(), drawn.CursorY());
    view.boxArea = {0, 0, cells.width, cells.Height() - 1};
    view.hintRow = cells.Height() - 1;
    return;
  }

  const ViewTarget t = FocusTarget(form.window, view, drawn);
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
  for (int y = 0; y < viewport_.height; ++y)
    for (int x = 0; x < viewport_.width; ++x) {
      const Cell& cell = drawn.At(left_ + x, top_ + y);
      terminal.Set(x, y, cell.ch, cell.style);
    }
  if (drawn.CursorShown()) {
    const int x = drawn.CursorX() - left_, y = drawn.CursorY() - top_;
    if (x >= 0 && y >= 0 && x < viewport_.width && y < viewport_.height) terminal.SetCursor(x, y);
  }
  view.boxArea = {0, 0, viewport_.width, viewport_.height};

  // The hint line stays at the bottom; marks show where more of the window lies.
  const int hintRow = size_.rows - 1;
  view.hintRow = hintRow;
  DrawHintBar(terminal, hintRow, size_.columns, form.window, view);
  const Style mark = ButtonStyle(view, false);
  if (viewport_.horizontal) {
    if (left_ > 0) terminal.Set(0, hintRow, U'◀', mark);
    if (left_ + viewport_.width < cells.width) terminal.Set(size_.columns - 1, hintRow, U'▶', mark);
  }
  if (viewport_.vertical) {
    const int x = size_.columns - 1, rows = viewport_.height, total = cells.Height() - 1;
    // A scroll bar: the track, the part in view, arrows where more lies.
    terminal.Fill(x, 0, 1, rows, Colours(kDefaultColour, RGB(128, 128, 128)));
    Style thumbStyle = Colours(kDefaultColour, RGB(224, 224, 224));
    thumbStyle.reverse = view.depth == ColourDepth::None;
    const int thumb = std::max(1, rows * rows / total);
    const int thumbTop = (rows - thumb) * top_ / std::max(1, total - rows);
    terminal.Fill(x, thumbTop, 1, thumb, thumbStyle);
    if (top_ > 0) terminal.Set(x, 0, U'▲', mark);
    if (top_ + rows < total) terminal.Set(x, rows - 1, U'▼', mark);
  }
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
  for (;;) {
    if (!queued_.empty()) {
      const Key key = queued_.front();
      queued_.pop_front();
      return key;
    }
    bool resized = false, closed = false;
    const std::string bytes = ReadTerminal(pending_.empty() ? -1 : kEscapeWaitMs, resized, closed);
    platform::CheckTermination();
    if (closed) {
      LeaveTerminal();
      const bool marked = form.LeaveWithoutOK();
      std::cerr << "Start_Config: the terminal has gone; the step is left without OK"
                << (marked ? " and the cancel mark is written\n" : "\n");
      platform::EndProcess(kExitWindowOpen);
    }
    if (resized) {
      size_ = GetTerminalSize();
      followed_ = {};      // the focus is brought into view again
      haveShown_ = false;  // the whole screen anew
      Present(overlay_);
    }
    const bool complete = bytes.empty() && !pending_.empty();
    pending_ += bytes;
    for (Key& key : DecodeKeys(pending_, complete)) {
      // Ctrl-L paints the whole screen again, whatever another program wrote on it.
      if (key.IsCtrl('l')) {
        haveShown_ = false;
        Present(overlay_);
      } else {
        queued_.push_back(std::move(key));
      }
    }
  }
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
  return key.code == KeyCode::Escape || key.IsCtrl('q') || key.IsCtrl('c') ||
         (key.code == KeyCode::F4 && key.alt);
}

int RunTerminal() {
  if (!TerminalAvailable()) {
    std::cerr << "Start_Config: standard input is no terminal, so the window cannot be shown; "
                 "set KORVEX_SCRIPT to a script of actions (or - for standard input) to operate "
                 "it without one\n";
    return kExitOther;
  }
  auto form = std::make_unique<frm_Start_Config_Exe>();
  Session session(*form);
  const std::string problem = EnterTerminal();
  if (!problem.empty()) {
    std::cerr << "Start_Config: " << problem << "\n";
    return kExitOther;
  }
  HoldErrors();
  platform::SetProcessEndNote([](int) { LeaveTerminal(); });
  platform::SetMessageBoxHandler(
      [&session](const platform::MessageBox& box) { return RunMessageBox(session, box); });
  form->window.onFileDialog = [&session](const ui::FileDialogRequest& request) {
    return RunFileDialog(session, request);
  };
  // The hourglass and each pass of pending events show at once.
  form->window.onFrontEndNote = [&session](const std::string&) { session.Present(); };

  if (!app::ClaimInstallation()) return app::RefuseSecondStart(LeaveTerminal);

  try {
    form->Form_Load();
    // As the window appears, the first control in the Tab order gets the focus.
    MoveFocusBy(session, 1);
    session.loaded = true;
    session.Present();
    // The writes of the handlers are synced once per batch of keys (those of the
    // start-up as soon as the window shows).
    platform::SyncWrittenFiles();
    for (;;) {
      HandleKey(session, session.NextKey());
      session.Present();
      if (!session.KeysWaiting()) platform::SyncWrittenFiles();
    }
  } catch (const platform::EndRequest& request) {
    LeaveTerminal();
    form->LeaveWithoutOK();
    platform::EndProcess(kExitSignalBase + request.signal);
  }
}

}  // namespace tui
