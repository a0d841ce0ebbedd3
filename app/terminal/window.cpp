#include "app/terminal/window.h"

#include <algorithm>
#include <iostream>
#include <memory>
#include <sstream>

#include "app/common/actions.h"
#include "app/common/lifecycle.h"
#include "app/common/presentation.h"
#include "app/terminal/dialogs.h"
#include "app/terminal/session.h"
#include "base/termination.h"
#include "base/text.h"
#include "files/file_cache.h"
#include "platform/msgbox.h"
#include "platform/process.h"

namespace tui {
namespace {

using app::Verb;

constexpr int kMaxTextLength = 32767;

// ---------------------------------------------------------------------------
// Actions: every key and click ends here, as the scripted operation's actions.

void Act(Session& s, Verb verb, const ui::Control* c = nullptr, const std::string& argument = "") {
  const app::Outcome outcome = app::ApplyUserAction(s.form, verb, c, argument);
  if (!outcome.Applied()) s.view.note = app::ShownReason(s.form, c, outcome);
}

// Picks an entry of a combo box, list box or drive list as a user would.
void Choose(Session& s, ui::Control& c, int index) {
  const std::vector<std::string> entries = app::ListEntries(c);
  if (index < 0 || index >= static_cast<int>(entries.size())) return;
  Act(s, c.kind() == ui::Kind::DriveListBox ? Verb::Drive : Verb::Select, &c, entries[index]);
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
  ui::Control* to = app::NextInTabOrder(s.form.window, s.form.window.Focused(), direction,
                                        [&s](const ui::Control& c) {
                                          // Passing over a disabled OK says what it waits for.
                                          if (&c == s.form.CommandOK && c.Shown())
                                            s.view.note = app::WhyIgnored(s.form, c);
                                        });
  if (to == nullptr) return;
  Act(s, Verb::Focus, to);
  // The note about OK names what has the focus instead.
  if (!s.view.note.empty() && to != s.form.CommandOK)
    s.view.note = FocusName(s.form.window, *to) + " has the focus; " + s.view.note;
}

// Alt and a letter: the control whose caption marks that letter as its access
// key, clicked or given the focus.
bool AccessKey(Session& s, const Key& key) {
  const app::AccessTarget target = app::AccessKeyTarget(s.form.window, key.text);
  if (target.control != nullptr) Act(s, target.click ? Verb::Click : Verb::Focus, target.control);
  return target.matched;
}

void OpenDropDown(Session& s, ui::Control& c) {
  s.view.dropDown = &c;
  s.view.dropHighlight = std::max(0, app::SelectedEntry(c));
}

// Text boxes: the caret and selection as "start length" for the caret action.
void PlaceCaret(Session& s, ui::Control& box, int anchor, int active) {
  Act(s, Verb::Caret, &box,
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
    // What was typed or pasted meanwhile goes in at once; a text box holds at
    // most kMaxTextLength characters, as a Windows edit box does.
    std::string text = key.text + s.TypedRun();
    const size_t room = static_cast<size_t>(std::max(0, kMaxTextLength - (size - length)));
    const bool cut = platform::CharCount(text) > room;
    if (cut) text = platform::LeftChars(text, room);
    if (!text.empty()) Act(s, Verb::Type, &box, text);
    if (cut)
      s.view.note = "A text box holds at most 32,767 characters: the pasted text was cut after " +
                    std::to_string(room) + " of them";
  } else if (key.IsCtrl('a')) {
    selection = {&box, 0, size};
    PlaceCaret(s, box, 0, size);
  } else if (key.code == KeyCode::Backspace || key.code == KeyCode::Delete) {
    if (length == 0) {
      const int from = key.code == KeyCode::Backspace ? start - 1 : start;
      if (from < 0 || from >= size) return;
      PlaceCaret(s, box, from, from + 1);
    }
    Act(s, Verb::Type, &box, "");
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
    const std::vector<app::FolderEntry> entries = ShownFolders(s.view, c);
    int& lit = s.view.folderHighlight;
    if (lit < 0 || lit >= static_cast<int>(entries.size())) lit = app::CurrentFolderEntry(entries);
    if (IsListMove(key)) {
      lit = MoveInList(key, lit, static_cast<int>(entries.size()), r.height);
      Act(s, Verb::Click, &c);  // moving through a folder list clicks it
    } else if (key.code == KeyCode::Enter || key.IsChar(' ')) {
      const std::string path = entries[lit].path;
      s.view.folderHighlight = -1;
      Act(s, Verb::Dir, &c, path);
    }
    return;
  }
  const int count = static_cast<int>(app::ListEntries(c).size());
  if (count == 0) return;
  if (IsListMove(key)) {
    Choose(s, c, MoveInList(key, app::SelectedEntry(c), count, r.height));
  } else if (key.code == KeyCode::Enter || key.IsChar(' ')) {
    Choose(s, c, std::max(0, app::SelectedEntry(c)));
  }
}

void ChoiceKey(Session& s, ui::Control& c, const Key& key) {
  const std::vector<std::string> entries = app::ListEntries(c);
  const int count = static_cast<int>(entries.size());
  if (key.code == KeyCode::Enter || key.IsChar(' ') || key.code == KeyCode::F4 ||
      (key.alt && key.code == KeyCode::Down)) {
    OpenDropDown(s, c);
  } else if (IsListMove(key) && count > 0) {
    const int to = MoveInList(key, app::SelectedEntry(c), count, 8);
    if (to != app::SelectedEntry(c)) Choose(s, c, to);
  } else if (key.code == KeyCode::Char && !key.ctrl && !key.alt) {
    const int to = EntryByLetter(entries, app::SelectedEntry(c), key.text);
    if (to >= 0 && to != app::SelectedEntry(c)) Choose(s, c, to);
  }
}

void DropDownKey(Session& s, const Key& key) {
  ui::Control& c = *s.view.dropDown;
  const std::vector<std::string> entries = app::ListEntries(c);
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
    Act(s, Verb::Close);
    return;
  }
  if (c == nullptr) return;
  if (!c->Usable()) {
    s.view.note = app::WhyIgnored(s.form, *c);
    return;
  }
  const CellRect r = ControlCells(*c);
  const int row = s.view.firstShown[c] + key.y - r.y;
  switch (c->kind()) {
    case ui::Kind::ComboBox:
    case ui::Kind::DriveListBox:
      Act(s, Verb::Focus, c);
      if (c->Usable()) OpenDropDown(s, *c);
      break;
    case ui::Kind::TextBox: {
      Act(s, Verb::Click, c);
      // The character under the click, counted in columns from the first shown.
      const std::u32string text = DecodeUtf8(c->Text());
      int at = FirstShownChar(text, c->SelStart(), r.width);
      for (int x = r.x; at < static_cast<int>(text.size()) && x + CharColumns(text[at]) <= key.x;
           ++at)
        x += CharColumns(text[at]);
      Act(s, Verb::Caret, c, std::to_string(at));
      break;
    }
    case ui::Kind::ListBox:
      if (row < static_cast<int>(app::ListEntries(*c).size()))
        Choose(s, *c, row);
      else
        Act(s, Verb::Click, c);
      break;
    case ui::Kind::DirListBox: {
      const std::vector<app::FolderEntry> entries = ShownFolders(s.view, *c);
      if (row >= static_cast<int>(entries.size())) {
        Act(s, Verb::Focus, c);
      } else if (row == s.view.folderHighlight && window.Focused() == c) {
        s.view.folderHighlight = -1;  // the second click opens the folder
        Act(s, Verb::Dir, c, entries[row].path);
      } else {
        s.view.folderHighlight = row;
        Act(s, Verb::Click, c);
      }
      break;
    }
    default:
      Act(s, Verb::Click, c);
  }
}

void HandleKey(Session& s, const Key& key) {
  // A button's release ends the click that may just have left a note.
  if (key.code == KeyCode::Mouse && !key.press) return;
  s.view.note.clear();
  frm_Start_Config_Exe& form = s.form;
  if (s.TooSmall()) {
    if (IsCloseKey(key)) Act(s, Verb::Close);
    return;
  }
  if (key.code == KeyCode::Mouse) return Mouse(s, key);
  if (s.view.dropDown != nullptr) return DropDownKey(s, key);
  if (IsCloseKey(key)) return Act(s, Verb::Close);
  if (key.code == KeyCode::Char && key.alt && !key.ctrl && AccessKey(s, key)) return;
  if (key.code == KeyCode::F1) return Act(s, Verb::Click, form.CommandQuest);
  if (key.IsCtrl('z')) {
    s.view.note = "Ctrl-Z: no shell with job control started the step, so it cannot be suspended";
    return;
  }
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
      if (key.code == KeyCode::Enter || key.IsChar(' ')) Act(s, Verb::Click, c);
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
  session.view.depth = TerminalColours();
  if (!HasBackTab()) session.view.tabKeys = "Tab";
  HoldErrors();
  platform::SetProcessEndNote([](int) { LeaveTerminal(); });
  platform::SetMessageBoxHandler(
      [&session](const platform::MessageBox& box) { return RunMessageBox(session, box); });
  form->window.onFileDialog = [&session](const ui::FileDialogRequest& request) {
    return RunFileDialog(session, request);
  };
  // The hourglass and each pass of pending events show at once; the hourglass's
  // end shows with the redraw that follows every key, if the step goes on.
  form->window.onFrontEndNote = [&session](const std::string& note) {
    if (note != "mouse pointer: default") session.Present();
  };

  app::ClaimOrEnd(LeaveTerminal);
  app::UntilEndRequest(*form, LeaveTerminal, [&] {
    form->Form_Load();
    // As the window appears, the first control in the Tab order gets the focus.
    MoveFocusBy(session, 1);
    session.loaded = true;
    // Where the window is larger than the terminal, the first view shows its
    // top left; the way to OK and Cancel, bottom right, is said.
    if (!session.WindowFits() && session.view.note.empty())
      session.view.note = std::string("OK and Cancel are at the bottom right, out of view: ") +
                          (HasBackTab() ? "Shift-Tab reaches them" : "Tab reaches them last");
    session.Present();
    // The writes of the handlers are synced once per batch of keys (those of the
    // start-up as soon as the window shows).
    platform::SyncWrittenFiles();
    for (;;) {
      const Key key = session.NextKey();
      const std::string copyBefore = SarFolder;
      const bool listedBefore = form->ListSAR->ListCount() > 0;
      HandleKey(session, key);
      // A copy connected by this key: say what came of it, since the tick may
      // be out of view.
      if (form->ListSAR->ListCount() > 0 && (!listedBefore || SarFolder != copyBefore))
        session.view.note = app::CopyNote(*form);
      session.Present();
      if (!session.KeysWaiting()) platform::SyncWrittenFiles();
    }
  });
  return kExitOther;  // not reached: the loop ends only by ending the process
}

}  // namespace tui
