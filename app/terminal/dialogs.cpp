#include "app/terminal/dialogs.h"

#include <algorithm>
#include <utility>

#include "app/common/file_choice.h"
#include "base/failure.h"
#include "base/text.h"
#include "platform/filesys.h"
#include "platform/winpath.h"

namespace tui {
namespace {

constexpr uint32_t kWhite = RGB(255, 255, 255);

// Where boxes go: the part of the terminal that shows the window.
CellRect BoxArea(const Canvas& canvas, const ViewState& view) {
  if (view.boxArea.width > 0 && view.boxArea.height > 0) return view.boxArea;
  return {0, 0, canvas.Width(), canvas.Height()};
}

// A dialog's frame: the box, its title line and the grey inside, centred on
// the box area and cut to it.
CellRect DrawDialogFrame(Canvas& canvas, int width, int height, const std::string& title,
                         const ViewState& view) {
  const CellRect a = BoxArea(canvas, view);
  width = std::min(width, a.width);
  height = std::min(height, a.height);
  const CellRect r{a.x + (a.width - width) / 2, a.y + (a.height - height) / 2, width, height};
  canvas.HideCursor();  // a caret behind the box is not where typing goes
  canvas.Fill(r.x, r.y, r.width, r.height, WindowStyle());
  canvas.Box(r.x, r.y, r.width, r.height, WindowStyle());
  const Style caption = CaptionStyle(view);
  canvas.Fill(r.x, r.y, r.width, 1, caption);
  canvas.Put(r.x + 1, r.y, title, caption, r.width - 2);
  return r;
}

// A row of buttons; returns where each one lies.
std::vector<CellRect> DrawButtons(Canvas& canvas, int x, int y,
                                  const std::vector<std::string>& labels, int lit,
                                  const ViewState& view) {
  std::vector<CellRect> cells;
  for (int i = 0; i < static_cast<int>(labels.size()); ++i) {
    const std::string text = "[ " + labels[i] + " ]";
    const Style s = i == lit ? HighlightStyle(view) : ButtonStyle(view, false);
    canvas.Put(x, y, text, s);
    cells.push_back({x, y, Columns(text), 1});
    x += Columns(text) + 2;
  }
  return cells;
}

int ButtonsWidth(const std::vector<std::string>& labels) {
  int w = 0;
  for (const std::string& l : labels) w += Columns(l) + 6;
  return w - 2;
}

// The box's own keys stand in the hint line while it is open; the window's
// come back when it closes, however it closes.
class BoxHints {
 public:
  explicit BoxHints(ViewState& view) : view_(view), before_(view.hints) {}
  ~BoxHints() { view_.hints = before_; }
  BoxHints(const BoxHints&) = delete;
  BoxHints& operator=(const BoxHints&) = delete;
  void Set(std::string hints) { view_.hints = std::move(hints); }

 private:
  ViewState& view_;
  std::string before_;
};

bool Clicked(const Key& key, const CellRect& r) {
  return key.code == KeyCode::Mouse && key.press && key.button == 0 && r.Contains(key.x, key.y);
}

// ---------------------------------------------------------------------------
// The file-open dialog.

// The dialog's state (app::FileChoice) and what the terminal shows of it.
struct FileDialog {
  app::FileChoice c;
  int folderLit = 0, fileLit = -1;
  int folderFirst = 0, fileFirst = 0;
  int caret = 0;
  bool nameSelected = true;  // the whole name is selected: typing replaces it
  enum Part { Name, Files, Folders, Open, Cancel, kParts };
  int focus = Name;
  // Where things were drawn last, for the mouse.
  CellRect folderCells, fileCells, nameCells;
  std::vector<CellRect> buttonCells;
};

// The folder list's lines: the tree down to the folder (open), its subfolders
// (closed), then the other drives.
std::vector<std::string> FolderLabels(const FileDialog& d) {
  std::vector<std::string> labels;
  for (const app::FolderChoice& f : d.c.folders)
    labels.push_back(f.drive ? "[" + f.label + "]"
                             : std::string(f.depth, ' ') + (f.open ? "▾ " : "▸ ") + f.label);
  return labels;
}

// Shows the folder the dialog has just read, its own entry lit.
void ShowFolder(FileDialog& d) {
  d.folderLit = d.c.currentFolder;
  d.fileLit = -1;
  d.folderFirst = d.fileFirst = 0;
}

void Load(FileDialog& d, const std::string& folder) {
  app::OpenFolder(d.c, folder);
  ShowFolder(d);
}

// Enter on the name: a folder opens, a pattern filters, anything else is the
// answer.
std::optional<std::string> Accept(FileDialog& d) {
  const std::string folder = d.c.folder;
  const std::vector<std::string> patterns = d.c.patterns;
  std::optional<std::string> chosen = app::AcceptName(d.c);
  if (!chosen && (d.c.folder != folder || d.c.patterns != patterns)) ShowFolder(d);
  d.caret = std::min(d.caret, static_cast<int>(platform::CharCount(d.c.name)));
  return chosen;
}

void DrawFileDialog(Canvas& canvas, FileDialog& d, const ViewState& view) {
  const CellRect a = BoxArea(canvas, view);
  const CellRect r = DrawDialogFrame(canvas, std::min(a.width - 2, 90), std::min(a.height - 2, 26),
                                     d.c.title, view);
  const Style text = WindowStyle();
  const int inner = r.width - 4;
  canvas.Put(r.x + 2, r.y + 2, "Look in: " + d.c.folder, text, inner);
  const int half = inner / 2;
  const int listTop = r.y + 4, listRows = std::max(1, r.height - 10);
  // The list with the focus shows it in its heading as well as in its lit entry.
  const bool inFolders = d.focus == FileDialog::Folders, inFiles = d.focus == FileDialog::Files;
  const Style heading = Colours(RGB(0, 0, 0), RGB(192, 192, 192), true);
  Style focusedHeading = HighlightStyle(view);
  focusedHeading.bold = true;
  canvas.Put(r.x + 2, r.y + 3, inFolders ? "▸ Folders " : "Folders",
             inFolders ? focusedHeading : heading);
  canvas.Put(r.x + 3 + half, r.y + 3, inFiles ? "▸ Files " : "Files",
             inFiles ? focusedHeading : heading);
  d.folderCells = {r.x + 2, listTop, half - 1, listRows};
  d.fileCells = {r.x + 3 + half, listTop, inner - half - 1, listRows};
  const std::vector<std::string> folderLabels = FolderLabels(d);
  DrawEntries(canvas, d.folderCells, folderLabels, {}, d.folderLit, d.folderFirst,
              d.focus == FileDialog::Folders, true, 1, view);
  DrawEntries(canvas, d.fileCells, d.c.files, {}, d.fileLit, d.fileFirst,
              d.focus == FileDialog::Files, true, 1, view);
  if (d.c.files.empty())
    canvas.Put(d.fileCells.x + 1, d.fileCells.y, "(no matching files)",
               inFiles ? HighlightStyle(view) : FieldStyle(view, false));
  // The cursor stands on the focused list's entry that Enter acts on.
  if (inFolders) canvas.SetCursor(d.folderCells.x, d.folderCells.y + d.folderLit - d.folderFirst);
  if (inFiles)
    canvas.SetCursor(d.fileCells.x, d.fileCells.y + std::max(0, d.fileLit - d.fileFirst));

  const int nameRow = listTop + listRows + 1;
  canvas.Put(r.x + 2, nameRow, "File name:", text);
  d.nameCells = {r.x + 17, nameRow, std::max(4, inner - 15 - 14), 1};
  const Style field = FieldStyle(view, true);
  canvas.Fill(d.nameCells.x, nameRow, d.nameCells.width, 1, field);
  const std::u32string name = DecodeUtf8(d.c.name);
  const int offset = FirstShownChar(name, d.caret, d.nameCells.width);
  const bool selected = d.nameSelected && d.focus == FileDialog::Name;
  canvas.Put(d.nameCells.x, nameRow, EncodeText(std::u32string_view(name).substr(offset)),
             selected ? HighlightStyle(view) : field, d.nameCells.width);
  canvas.Put(r.x + 2, nameRow + 1, "Files of type: " + d.c.typeText, text, inner - 14);
  if (!d.c.note.empty()) canvas.Put(r.x + 2, nameRow + 2, d.c.note, text, inner);
  const int lit = d.focus == FileDialog::Open ? 0 : d.focus == FileDialog::Cancel ? 1 : -1;
  d.buttonCells = DrawButtons(canvas, r.x + r.width - 2 - 12, nameRow, {"Open"}, lit, view);
  const auto cancel =
      DrawButtons(canvas, r.x + r.width - 2 - 12, nameRow + 1, {"Cancel"}, lit - 1, view);
  d.buttonCells.push_back(cancel[0]);
  if (d.focus == FileDialog::Name)
    canvas.SetCursor(d.nameCells.x + Columns(EncodeText(std::u32string_view(name).substr(
                                         offset, static_cast<size_t>(d.caret - offset)))),
                     nameRow);
}

// What the keys do in the part of the dialog that has the focus.
std::string FileDialogHints(const FileDialog& d, const ViewState& view) {
  std::string here;
  switch (d.focus) {
    case FileDialog::Name:
      here = "type a file name or a pattern   Enter open   ↓ the files";
      break;
    case FileDialog::Files:
      here = "↑↓ choose a file   Enter take it";
      break;
    case FileDialog::Folders:
      here = "↑↓ move   Enter/Space open the folder";
      break;
    case FileDialog::Open:
      here = "Enter/Space open";
      break;
    default:
      here = "Enter/Space cancel";
      break;
  }
  return here + "   " + view.tabKeys + " next part   Esc cancel";
}

void EditName(FileDialog& d, const Key& key) {
  const int size = static_cast<int>(platform::CharCount(d.c.name));
  d.caret = std::clamp(d.caret, 0, size);
  auto replace = [&](int from, int count, const std::string& with) {
    d.c.name = platform::LeftChars(d.c.name, static_cast<size_t>(from)) + with +
               platform::MidChars(d.c.name, static_cast<size_t>(from + count));
  };
  if (d.nameSelected) {
    d.nameSelected = false;
    const bool typing = key.code == KeyCode::Char && !key.ctrl && !key.alt;
    if (typing || key.code == KeyCode::Backspace || key.code == KeyCode::Delete) {
      d.c.name = typing ? key.text : "";
      d.caret = typing ? 1 : 0;
      return;
    }
  }
  if (key.code == KeyCode::Char && !key.ctrl && !key.alt) {
    replace(d.caret, 0, key.text);
    d.caret += 1;
  } else if (key.code == KeyCode::Backspace && d.caret > 0) {
    replace(d.caret - 1, 1, "");
    d.caret -= 1;
  } else if (key.code == KeyCode::Delete && d.caret < size) {
    replace(d.caret, 1, "");
  } else if (key.code == KeyCode::Left) {
    d.caret = std::max(0, d.caret - 1);
  } else if (key.code == KeyCode::Right) {
    d.caret = std::min(size, d.caret + 1);
  } else if (key.code == KeyCode::Home) {
    d.caret = 0;
  } else if (key.code == KeyCode::End) {
    d.caret = size;
  }
}

void TakeFile(FileDialog& d, int index) {
  d.fileLit = index;
  d.c.name = d.c.files[index];
  d.caret = static_cast<int>(platform::CharCount(d.c.name));
}

}  // namespace

std::vector<std::string> MessageLines(const std::string& text, int width) {
  std::vector<std::string> wrapped;
  for (const std::string& line : platform::BoxLines(text))
    for (std::string& part : WrapWords(line, width)) wrapped.push_back(std::move(part));
  return wrapped;
}

platform::Answer RunMessageBox(Session& session, const platform::MessageBox& box) {
  std::vector<std::pair<std::string, platform::Answer>> buttons;
  if (box.buttons == platform::Buttons::OK)
    buttons = {{"OK", platform::Answer::OK}};
  else
    buttons = {{"Yes", platform::Answer::Yes}, {"No", platform::Answer::No}};
  std::vector<std::string> labels;
  for (const auto& b : buttons) labels.push_back(b.first);
  const int count = static_cast<int>(buttons.size());
  int lit = std::clamp(box.defaultButton, 0, count - 1);
  std::vector<CellRect> buttonCells;

  int firstLine = 0;  // the first text line shown, where the box is too low for all
  int textRows = 0, lineCount = 0;
  auto draw = [&](Canvas& canvas) {
    const CellRect a = BoxArea(canvas, session.view);
    // On a narrow terminal the text gets the icon's room.
    const bool icon = box.icon != platform::Icon::None && a.width >= 40;
    const int iconWidth = icon ? 5 : 0;
    const int textWidth = std::min(72, a.width - (a.width >= 40 ? 8 : 4) - iconWidth);
    const std::vector<std::string> lines = MessageLines(box.text, textWidth);
    lineCount = static_cast<int>(lines.size());
    int widest = 0;
    for (const std::string& l : lines) widest = std::max(widest, Columns(l));
    const int width =
        std::max({widest + iconWidth + 4, Columns(box.title) + 4, ButtonsWidth(labels) + 4, 30});
    // Blank lines around the text as long as there is room; then the text
    // scrolls between the title and the buttons.
    int height = lineCount + 6, textTop = 2;
    if (height > a.height) {
      height = lineCount + 4;
      textTop = 1;
    }
    const CellRect r = DrawDialogFrame(canvas, width, height, box.title, session.view);
    textRows = std::clamp(r.height - textTop - 3, 0, lineCount);
    firstLine = std::clamp(firstLine, 0, lineCount - textRows);
    const int textX = r.x + 2 + iconWidth;
    if (icon) {
      const bool stop = box.icon == platform::Icon::Stop;
      Style s = Colours(kWhite, stop ? RGB(200, 0, 0) : RGB(0, 0, 200), true);
      s.reverse = session.view.depth == ColourDepth::None;
      canvas.Put(r.x + 2, r.y + textTop, stop ? " X " : " i ", s);
    }
    for (int i = 0; i < textRows; ++i)
      canvas.Put(textX, r.y + textTop + i, lines[firstLine + i], WindowStyle(),
                 r.width - (textX - r.x) - 1);
    if (textRows < lineCount) {  // marks where more text lies
      const Style mark = ButtonStyle(session.view, false);
      if (firstLine > 0) canvas.Set(r.x + r.width - 2, r.y + textTop, U'▲', mark);
      if (firstLine + textRows < lineCount)
        canvas.Set(r.x + r.width - 2, r.y + textTop + textRows - 1, U'▼', mark);
    }
    const int buttonsX = r.x + std::max(1, (r.width - ButtonsWidth(labels)) / 2);
    buttonCells = DrawButtons(canvas, buttonsX, r.y + r.height - 2, labels, lit, session.view);
  };

  BoxHints hints(session.view);
  hints.Set(count == 1 ? "Enter/Space OK   Esc close the box"
                       : "Y Yes   N No   ←→/Tab choose   Enter/Space take the lit button");
  auto answerFor = [&](platform::Answer a) -> std::optional<platform::Answer> {
    for (const auto& b : buttons)
      if (b.second == a) return a;
    return std::nullopt;
  };
  for (;;) {
    session.Present(draw);
    const Key key = session.NextKey();
    if (key.code == KeyCode::Enter || key.IsChar(' ')) return buttons[lit].second;
    if (key.code == KeyCode::Tab || key.code == KeyCode::Right) lit = (lit + 1) % count;
    if (key.code == KeyCode::BackTab || key.code == KeyCode::Left) lit = (lit + count - 1) % count;
    if (IsListMove(key) && textRows < lineCount)
      firstLine = MoveInList(key, firstLine, lineCount - textRows + 1, std::max(1, textRows));
    std::optional<platform::Answer> chosen;
    if (key.code == KeyCode::Char && !key.ctrl && !key.alt) {
      const std::string letter = platform::UpperCase(key.text);
      if (letter == "Y" || letter == "J") chosen = answerFor(platform::Answer::Yes);
      if (letter == "N") chosen = answerFor(platform::Answer::No);
      if (letter == "O") chosen = answerFor(platform::Answer::OK);
    }
    // Esc closes a box that only informs; a question needs an answer.
    if (IsCloseKey(key) && count == 1) chosen = platform::Answer::OK;
    for (int i = 0; i < static_cast<int>(buttonCells.size()); ++i)
      if (Clicked(key, buttonCells[i])) chosen = buttons[i].second;
    if (chosen) return *chosen;
  }
}

std::optional<std::string> RunFileDialog(Session& session, const ui::FileDialogRequest& request) {
  FileDialog d;
  d.c = app::BeginFileChoice(request);
  ShowFolder(d);
  d.caret = static_cast<int>(platform::CharCount(d.c.name));

  BoxHints hints(session.view);
  for (;;) {
    hints.Set(FileDialogHints(d, session.view));
    session.Present([&](Canvas& canvas) { DrawFileDialog(canvas, d, session.view); });
    const Key key = session.NextKey();
    d.c.note.clear();
    if (IsCloseKey(key)) return std::nullopt;
    if (key.code == KeyCode::Tab || key.code == KeyCode::BackTab) {
      const int step = key.code == KeyCode::Tab ? 1 : FileDialog::kParts - 1;
      d.focus = (d.focus + step) % FileDialog::kParts;
      d.nameSelected = true;
      continue;
    }
    if (key.code == KeyCode::Mouse) {
      if (!key.press || key.button != 0) continue;
      if (Clicked(key, d.buttonCells[0])) {
        if (auto chosen = Accept(d)) return chosen;
      } else if (Clicked(key, d.buttonCells[1])) {
        return std::nullopt;
      } else if (Clicked(key, d.nameCells)) {
        d.focus = FileDialog::Name;
      } else if (Clicked(key, d.folderCells)) {
        const int row = d.folderFirst + key.y - d.folderCells.y;
        if (row >= static_cast<int>(d.c.folders.size())) continue;
        if (d.focus == FileDialog::Folders && row == d.folderLit) {
          Load(d, d.c.folders[row].path);
        } else {
          d.folderLit = row;
          d.focus = FileDialog::Folders;
        }
      } else if (Clicked(key, d.fileCells)) {
        const int row = d.fileFirst + key.y - d.fileCells.y;
        if (row >= static_cast<int>(d.c.files.size())) continue;
        const bool second = d.focus == FileDialog::Files && row == d.fileLit;
        TakeFile(d, row);
        d.focus = FileDialog::Files;
        if (second) return app::PathInFolder(d.c, d.c.files[row]);
      }
      continue;
    }
    switch (d.focus) {
      case FileDialog::Name:
        if (key.code == KeyCode::Enter) {
          if (auto chosen = Accept(d)) return chosen;
        } else if (key.code == KeyCode::Down) {
          d.focus = FileDialog::Files;
        } else {
          EditName(d, key);
        }
        break;
      case FileDialog::Files:
        if (d.c.files.empty()) break;
        if (key.code == KeyCode::Enter) {
          TakeFile(d, std::max(0, d.fileLit));
          return app::PathInFolder(d.c, d.c.name);
        }
        if (d.fileLit < 0 && IsListMove(key))
          TakeFile(d, 0);  // the first move lands on the first file
        else
          TakeFile(d, MoveInList(key, std::max(0, d.fileLit), static_cast<int>(d.c.files.size()),
                                 d.fileCells.height));
        break;
      case FileDialog::Folders:
        if (key.code == KeyCode::Enter || key.IsChar(' ')) {
          Load(d, d.c.folders[d.folderLit].path);
        } else {
          d.folderLit = MoveInList(key, d.folderLit, static_cast<int>(d.c.folders.size()),
                                   d.folderCells.height);
        }
        break;
      case FileDialog::Open:
        if (key.code == KeyCode::Enter || key.IsChar(' '))
          if (auto chosen = Accept(d)) return chosen;
        break;
      case FileDialog::Cancel:
        if (key.code == KeyCode::Enter || key.IsChar(' ')) return std::nullopt;
        break;
    }
  }
}

}  // namespace tui
