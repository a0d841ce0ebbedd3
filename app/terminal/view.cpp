#include "app/terminal/view.h"

#include <algorithm>
#include <optional>

#include "base/failure.h"
#include "base/text.h"
#include "form/pictures.h"
#include "runtime/help_mode.h"

namespace tui {
namespace {

constexpr uint32_t kBlack = RGB(0, 0, 0);
constexpr uint32_t kWhite = RGB(255, 255, 255);
constexpr uint32_t kGrey = RGB(192, 192, 192);
constexpr uint32_t kDarkGrey = RGB(128, 128, 128);
constexpr uint32_t kNavy = RGB(0, 0, 128);
constexpr int kDropDownRows = 8;

bool InColour(const ViewState& v) {
  return v.depth != ColourDepth::None;
}

// The ink of the program's own pictures; '.' is clear.
uint32_t InkColour(char ink, bool enabled) {
  return ink == '.' ? kDefaultColour : InkRgb(ink, enabled);
}

// The sign a picture button shows where no colours can be drawn.
const char* PictureSign(const ui::Picture& p) {
  if (p.source == "tick.gif") return "OK";
  if (p.source == "cross.gif") return "X";
  if (p.source == "help.gif") return "?";
  return "*";
}

// A picture drawn for a button too narrow to show it scaled down: the help
// switch's question mark, eight pixels square.
const std::vector<std::string>& SmallPicture(const ui::Picture& p) {
  static const std::vector<std::string> kQuestionMark = {"..KKKK..", ".KK..KK.", ".....KK.",
                                                         "....KK..", "...KK...", "...KK...",
                                                         "........", "...KK..."};
  return p.source == "help.gif" ? kQuestionMark : p.rows;
}

std::string FileNameOf(const std::string& winPath) {
  const size_t slash = winPath.find_last_of('\\');
  return slash == std::string::npos ? winPath : winPath.substr(slash + 1);
}

// Decoded logo files, by path; a picture is read once.
const std::optional<ui::Pixels>& CachedPixels(const std::string& winPath) {
  static std::map<std::string, std::optional<ui::Pixels>> cache;
  auto it = cache.find(winPath);
  if (it == cache.end()) it = cache.emplace(winPath, ui::ReadBitmapPixels(winPath)).first;
  return it->second;
}

bool Focused(const ui::Control& c) {
  return c.Parent().Focused() == &c && c.Usable();
}

// A rectangle that keeps the picture's proportions inside r (cells hold two pixels).
CellRect Fit(CellRect r, int width, int height) {
  if (width <= 0 || height <= 0) return r;
  const double scale =
      std::min(static_cast<double>(r.width) / width, static_cast<double>(r.height * 2) / height);
  const int w = std::max(1, static_cast<int>(width * scale + 0.5));
  const int h = std::max(1, static_cast<int>(height * scale / 2 + 0.5));
  return {r.x + (r.width - w) / 2, r.y + (r.height - h) / 2, w, h};
}

void DrawFrame(Canvas& canvas, const ui::Control& c, const ViewState& view) {
  const CellRect r = ControlCells(c);
  const uint32_t back = app::SystemColour(c.BackColor());
  canvas.Fill(r.x, r.y, r.width, r.height, Colours(kBlack, back));
  if (!HasBorder(c)) return;
  // With eight colours dark grey is bold black, switched on and off around
  // every cell of a border: black there.
  const uint32_t ink = view.depth == ColourDepth::Basic ? kBlack : kDarkGrey;
  const Style border = Colours(InColour(view) ? ink : kDefaultColour, back);
  canvas.Box(r.x, r.y, r.width, r.height, border);
  const std::string caption = c.Caption();
  if (!caption.empty()) {
    const Style s = Colours(kBlack, back);
    const int shown = 1 + PutCaption(canvas, r.x + 3, r.y, caption, s, r.width - 5);
    canvas.Set(r.x + 2, r.y, U' ', s);
    canvas.Set(r.x + 2 + shown, r.y, U' ', s);
  }
}

void DrawLabel(Canvas& canvas, const ui::Control& c) {
  const CellRect r = ControlCells(c);
  Style s = Colours(c.Enabled() ? app::SystemColour(c.ForeColor()) : kDarkGrey,
                    app::SystemColour(c.BackColor()), c.GetFont().size > 12);
  canvas.Fill(r.x, r.y, r.width, r.height, s);
  PutCaption(canvas, r.x, r.y, c.Caption(), s, r.width);
}

void DrawTextBox(Canvas& canvas, const ui::Control& c, const ViewState& view) {
  const CellRect r = ControlCells(c);
  Style field = FieldStyle(view, c.Enabled());
  canvas.Fill(r.x, r.y, r.width, r.height, field, InColour(view) ? U' ' : U'_');
  const std::u32string text = DecodeUtf8(c.Text());
  const int length = static_cast<int>(text.size());
  const int caret = std::clamp(c.SelStart(), 0, length);
  const int selEnd = std::clamp(caret + c.SelLength(), caret, length);
  const bool focused = Focused(c);
  const int offset = focused ? FirstShownChar(text, caret, r.width) : 0;
  int x = r.x, caretX = r.x;
  for (int i = offset; i < length; ++i) {
    if (i == caret) caretX = x;
    if (x + CharColumns(text[i]) > r.x + r.width) break;
    const bool selected = focused && i >= caret && i < selEnd;
    x += canvas.Set(x, r.y, text[i], selected ? HighlightStyle(view) : field);
  }
  if (caret == length) caretX = x;
  if (focused) canvas.SetCursor(std::min(caretX, r.x + r.width - 1), r.y);
}

void DrawChoice(Canvas& canvas, const ui::Control& c, const ViewState& view) {
  const CellRect r = ControlCells(c);
  const Style field = FieldStyle(view, c.Usable());
  canvas.Fill(r.x, r.y, r.width, r.height, field);
  const std::string text = c.kind() == ui::Kind::DriveListBox ? c.Drive() : c.Text();
  const Style textStyle = Focused(c) ? HighlightStyle(view) : field;
  // Without UTF-8 a lone "v" is the mark for "more below", so the drop-down
  // button shows as "[v]".
  const bool ascii = !UnicodeShown();
  const int shown = canvas.Put(r.x + 1, r.y, text, textStyle, r.width - (ascii ? 4 : 3));
  if (Focused(c) && shown == 0) canvas.Set(r.x + 1, r.y, U' ', textStyle);
  if (ascii)
    canvas.Put(r.x + r.width - 3, r.y, "[▼]", ButtonStyle(view, false));
  else
    canvas.Set(r.x + r.width - 1, r.y, U'▼', ButtonStyle(view, false));
}

void DrawCheckBox(Canvas& canvas, const ui::Control& c, const ViewState& view) {
  const CellRect r = ControlCells(c);
  const Style s = Colours(c.Usable() ? kBlack : kDarkGrey, app::SystemColour(c.BackColor()));
  canvas.Fill(r.x, r.y, r.width, r.height, s);
  const char* mark = c.Value() == 1 ? "[x]" : c.Value() == 2 ? "[■]" : "[ ]";
  canvas.Put(r.x, r.y, mark, Colours(kBlack, kWhite));
  PutCaption(canvas, r.x + 4, r.y, c.Caption(), Focused(c) ? HighlightStyle(view) : s, r.width - 4);
}

void DrawButton(Canvas& canvas, const ui::Control& c, const ViewState& view) {
  const CellRect r = ControlCells(c);
  const bool focused = Focused(c);
  const uint32_t face = app::SystemColour(c.BackColor());
  Style s = ButtonStyle(view, focused, face);
  if (!c.Usable()) s.fg = kDarkGrey;
  // In help mode the help switch shows its colour even without colours.
  if (!InColour(view) && face != kGrey) s.reverse = true;
  canvas.Fill(r.x, r.y, r.width, r.height, s);
  const ui::Picture& picture = c.GetPicture();
  if (r.height == 1) {
    const int width = Columns(app::CaptionShown(c.Caption()).text);
    const int x = r.x + std::max(0, (r.width - width) / 2);
    PutCaption(canvas, x, r.y, c.Caption(), focused ? HighlightStyle(view) : s, r.width);
    canvas.Set(r.x, r.y, U'[', s);
    canvas.Set(r.x + r.width - 1, r.y, U']', s);
    return;
  }
  // A picture button is its picture on the button face; corner marks show the focus.
  const CellRect inside{r.x + 1, r.y, r.width - 2, r.height};
  if (picture.Empty()) {
    PutCaption(canvas, inside.x, inside.y + (r.height - 1) / 2, c.Caption(), s, inside.width);
  } else if (!InColour(view) || picture.rows.empty()) {
    const std::string sign = PictureSign(picture);
    canvas.Put(inside.x + (inside.width - Columns(sign)) / 2, inside.y + (inside.height - 1) / 2,
               sign, s);
  } else {
    const bool enabled = c.Usable();
    const std::vector<std::string>& rows =
        r.width < picture.width / 4 ? SmallPicture(picture) : picture.rows;
    const int width = static_cast<int>(rows[0].size()), height = static_cast<int>(rows.size());
    DrawPixels(canvas, inside, width, height, face, view.depth,
               [&](int x, int y) { return InkColour(rows[y][x], enabled); });
  }
  if (focused) {  // in the corners, which the picture leaves free
    // Not bold on eight colours: that would brighten the navy, and turning it
    // off again resets every attribute around each mark.
    Style mark =
        Colours(InColour(view) ? kNavy : kDefaultColour, face, view.depth != ColourDepth::Basic);
    mark.reverse = !InColour(view);
    const int right = r.x + r.width - 1, bottom = r.y + r.height - 1;
    canvas.Set(r.x, r.y, U'┏', mark);
    canvas.Set(right, r.y, U'┓', mark);
    canvas.Set(r.x, bottom, U'┗', mark);
    canvas.Set(right, bottom, U'┛', mark);
  }
}

void DrawImage(Canvas& canvas, const ui::Control& c, const ViewState& view) {
  const CellRect r = ControlCells(c);
  const ui::Picture& picture = c.GetPicture();
  if (picture.Empty()) return;
  const std::optional<ui::Pixels>& pixels = CachedPixels(picture.source);
  if (InColour(view) && pixels && pixels->width > 0) {
    const ui::Pixels& p = *pixels;
    DrawPixels(canvas, Fit(r, p.width, p.height), p.width, p.height, kGrey, view.depth,
               [&](int x, int y) { return p.rgb[static_cast<size_t>(y) * p.width + x]; });
    return;
  }
  // Without colours the picture is named.
  const std::vector<std::string> rows = WrapWords(FileNameOf(picture.source), r.width);
  for (int row = 0; row < r.height && row < static_cast<int>(rows.size()); ++row)
    canvas.Put(r.x, r.y + row, rows[row], Colours(kBlack, kGrey), r.width);
}

void DrawListBox(Canvas& canvas, const ui::Control& c, ViewState& view) {
  const CellRect r = ControlCells(c);
  const bool focused = Focused(c);
  std::vector<std::string> labels;
  std::vector<bool> bold;
  int highlight = 0;
  if (c.kind() == ui::Kind::DirListBox) {
    const std::vector<app::FolderEntry>& entries = ShownFolders(view, c);
    const int current = app::CurrentFolderEntry(entries);
    highlight = view.folderHighlight >= 0 && view.folderHighlight < static_cast<int>(entries.size())
                    ? view.folderHighlight
                    : current;
    for (const app::FolderEntry& e : entries) {
      labels.push_back(std::string(static_cast<size_t>(e.depth), ' ') + (e.open ? "▾ " : "▸ ") +
                       e.label);
      bold.push_back(&e == &entries[current]);
    }
  } else {
    labels = app::ListEntries(c);
    bold.assign(labels.size(), false);
    highlight = app::SelectedEntry(c);
  }
  DrawEntries(canvas, r, labels, bold, highlight, view.firstShown[&c], focused, c.Usable(), 0,
              view);
  if (labels.empty() && focused) {  // an empty list shows its focus too
    canvas.Fill(r.x, r.y, r.width, 1, HighlightStyle(view));
    canvas.Put(r.x + 1, r.y, "(empty)", HighlightStyle(view), r.width - 1);
  }
}

// The window's hint line: at its left what has the focus, what the keys do
// there and its tooltip; at its right how to move on and how to close, which
// thus stay in place from one control to the next and are not sent again.
// What does not fit goes: first the help key, then the Tab keys, then the end
// of the tooltip.
struct WindowHint {
  std::string what, keys;
};
WindowHint WindowHints(const ui::Window& window, const ViewState& view, int width) {
  const std::string gap = "   ";
  if (rt::HelpMode) {
    // Enter in the folder list opens the folder, as a double-click does, which
    // help mode leaves alone.
    const ui::Control* c = window.Focused();
    const std::string enter = c != nullptr && c->kind() == ui::Kind::DirListBox
                                  ? "click explains a control, Enter here opens the folder"
                                  : "Enter or click explains a control";
    return {"HELP MODE: " + enter, "F1 ends help mode" + gap + "Esc close"};
  }
  std::string head = view.tabKeys + " move to a field", tip;
  std::vector<std::string> keys = {"F1 help mode"};
  if (const ui::Control* c = window.Focused(); c != nullptr && c->Usable()) {
    std::string what = "Enter or Space to press";
    switch (c->kind()) {
      case ui::Kind::TextBox:
        what = "type to edit";
        break;
      case ui::Kind::ComboBox:
      case ui::Kind::DriveListBox:
        what = "↑↓ choose, Enter list";
        break;
      case ui::Kind::DirListBox:
        what = "↑↓ move, Enter opens";
        break;
      case ui::Kind::ListBox:
        what = "↑↓ choose";
        break;
      case ui::Kind::CheckBox:
        what = "Space ticks or unticks";
        break;
      default:
        break;
    }
    head = FocusName(window, *c) + " — " + what;
    tip = c->ToolTipText();
    keys.insert(keys.begin(), view.tabKeys + " next field");
  }
  WindowHint hint;
  auto fit = [&] {
    hint.what = head + (tip.empty() ? "" : gap + tip);
    hint.keys.clear();
    for (const std::string& k : keys) hint.keys += k + gap;
    hint.keys += "Esc close";
    return Columns(hint.what) + Columns(gap) + Columns(hint.keys) <= width;
  };
  while (!fit() && !keys.empty()) keys.pop_back();
  if (!tip.empty() && !fit()) {
    const int room =
        width - (Columns(hint.what) - Columns(tip)) - Columns(gap) - Columns(hint.keys);
    tip = room < 8 ? "" : FitColumns(tip, room - 1) + "…";
    fit();
  }
  return hint;
}

// Key hints for a narrow line: the hints before the last go from the back
// until the rest fits, so that what the focus does, how to move on and how to
// close stay readable.
std::string FitHints(const std::string& hints, int width) {
  const std::string gap = "   ";
  std::vector<std::string> parts;
  for (size_t at = 0;;) {
    const size_t end = hints.find(gap, at);
    parts.push_back(hints.substr(at, end == std::string::npos ? end : end - at));
    if (end == std::string::npos) break;
    at = end + gap.size();
  }
  auto joined = [&] {
    std::string text;
    for (const std::string& p : parts) text += (text.empty() ? "" : gap) + p;
    return text;
  };
  while (parts.size() > 2 && Columns(joined()) > width) parts.erase(parts.end() - 2);
  return joined();
}

void DrawDropDown(Canvas& canvas, const ui::Control& c, ViewState& view) {
  const std::vector<std::string> entries = app::ListEntries(c);
  const int count = static_cast<int>(entries.size());
  view.dropHighlight = std::clamp(view.dropHighlight, 0, std::max(0, count - 1));
  DrawEntries(canvas, DropDownCells(c, canvas.Height()), entries, {}, view.dropHighlight,
              view.firstShown[&c], true, true, 1, view);
}

}  // namespace

std::string FocusName(const ui::Window& window, const ui::Control& c) {
  if (c.kind() == ui::Kind::CommandButton || c.kind() == ui::Kind::CheckBox) {
    const std::string caption = app::CaptionShown(c.Caption()).text;
    if (!caption.empty() || c.kind() == ui::Kind::CheckBox) return caption;
    const std::string& picture = c.GetPicture().source;
    if (picture == "tick.gif") return "OK";
    if (picture == "cross.gif") return "Cancel";
    if (picture == "help.gif") return "Help mode switch (?)";
  }
  if (const ui::Control* label = LabelBefore(window, c))
    return app::CaptionShown(label->Caption()).text;
  return c.DisplayName();
}

int FirstShownChar(const std::u32string& text, int caret, int width) {
  // Back from the caret as far as the field holds, the caret's own cell kept.
  int first = std::clamp(caret, 0, static_cast<int>(text.size()));
  for (int used = 1; first > 0 && used + CharColumns(text[first - 1]) <= width; --first)
    used += CharColumns(text[first - 1]);
  return first;
}

int PutCaption(Canvas& canvas, int x, int y, const std::string& caption, Style style,
               int maxWidth) {
  const app::ShownCaption shown = app::CaptionShown(caption);
  const int written = canvas.Put(x, y, shown.text, style, maxWidth);
  const std::u32string text = DecodeUtf8(shown.text);
  if (shown.keyAt >= 0 && shown.keyAt < static_cast<int>(text.size())) {
    int at = 0;
    for (int i = 0; i < shown.keyAt; ++i) at += CharColumns(text[i]);
    Style marked = style;
    marked.underline = true;
    if (at + CharColumns(text[shown.keyAt]) <= written)
      canvas.Set(x + at, y, text[shown.keyAt], marked);
  }
  return written;
}

Style Colours(uint32_t fg, uint32_t bg, bool bold) {
  Style s;
  s.fg = fg;
  s.bg = bg;
  s.bold = bold;
  return s;
}

Style WindowStyle() {
  return Colours(kBlack, kGrey);
}

Style CaptionStyle(const ViewState& view) {
  Style s = Colours(kWhite, kNavy, true);
  s.reverse = !InColour(view);
  return s;
}

Style FieldStyle(const ViewState& view, bool enabled) {
  Style s = Colours(enabled ? kBlack : kDarkGrey, enabled ? kWhite : kGrey);
  s.dim = !enabled && !InColour(view);
  return s;
}

Style HighlightStyle(const ViewState& view) {
  Style s = Colours(kWhite, kNavy);
  s.reverse = !InColour(view);
  return s;
}

Style ButtonStyle(const ViewState& view, bool focused, uint32_t face) {
  Style s = Colours(kBlack, face, focused);
  s.reverse = focused && !InColour(view);
  return s;
}

void DrawPixels(Canvas& canvas, CellRect r, int width, int height, uint32_t background,
                ColourDepth depth, const std::function<uint32_t(int x, int y)>& pixel) {
  if (r.width <= 0 || r.height <= 0 || width <= 0 || height <= 0) return;
  const int targetW = r.width, targetH = r.height * 2;
  const uint32_t shownBackground = PixelColour(background, depth);
  // Each target pixel is the mean of the source pixels it covers; one that is
  // mostly clear shows the background.
  auto sample = [&](int tx, int ty) -> uint32_t {
    const int x0 = tx * width / targetW, x1 = std::max(x0 + 1, (tx + 1) * width / targetW);
    const int y0 = ty * height / targetH, y1 = std::max(y0 + 1, (ty + 1) * height / targetH);
    long red = 0, green = 0, blue = 0, inked = 0, all = 0;
    for (int y = y0; y < std::min(y1, height); ++y)
      for (int x = x0; x < std::min(x1, width); ++x) {
        ++all;
        const uint32_t c = pixel(x, y);
        if (c == kDefaultColour) continue;
        ++inked;
        red += (c >> 16) & 0xFF;
        green += (c >> 8) & 0xFF;
        blue += c & 0xFF;
      }
    if (all == 0 || inked * 5 < all) return background;
    const uint32_t shown =
        PixelColour(RGB(static_cast<int>(red / inked), static_cast<int>(green / inked),
                        static_cast<int>(blue / inked)),
                    depth);
    return shown == shownBackground ? background : shown;
  };
  // A cell shows its two pixels as an upper half block, or as a lower one with
  // the colours the other way round, or one colour as a blank or a full block:
  // whichever keeps the colours of the cell before it, which then need not be
  // switched.
  for (int cy = 0; cy < r.height; ++cy) {
    Style before = r.x > 0 ? canvas.At(r.x - 1, r.y + cy).style : Style{};
    for (int cx = 0; cx < r.width; ++cx) {
      const uint32_t upper = sample(cx, cy * 2), lower = sample(cx, cy * 2 + 1);
      char32_t ch = U'▀';
      Style s = Colours(upper, lower);
      if (upper == lower) {
        ch = before.fg == upper && before.bg != upper ? U'█' : U' ';
        s = ch == U' ' ? Colours(before.fg, upper) : Colours(upper, before.bg);
      } else if (before.fg == lower && before.bg == upper) {
        ch = U'▄';
        s = Colours(lower, upper);
      }
      canvas.Set(r.x + cx, r.y + cy, ch, s);
      before = s;
    }
  }
}

void DrawEntries(Canvas& canvas, CellRect r, const std::vector<std::string>& labels,
                 const std::vector<bool>& bold, int lit, int& first, bool focused, bool enabled,
                 int indent, const ViewState& view) {
  const Style field = FieldStyle(view, enabled);
  canvas.Fill(r.x, r.y, r.width, r.height, field);
  const int count = static_cast<int>(labels.size());
  const bool scrolls = count > r.height;
  first = ScrollTo(first, lit, r.height, count);
  for (int row = 0; row < r.height && first + row < count; ++row) {
    const int i = first + row;
    const bool strong = i < static_cast<int>(bold.size()) && bold[i];
    Style s = field;
    s.bold = strong;
    if (i == lit) {
      s = focused ? HighlightStyle(view) : Colours(kBlack, kGrey, strong);
      if (!InColour(view) && !focused) s.underline = true;
      canvas.Fill(r.x, r.y + row, r.width, 1, s);
    }
    canvas.Put(r.x + indent, r.y + row, labels[i], s, r.width - indent - (scrolls ? 1 : 0));
  }
  if (scrolls) {  // a mark where more entries lie: an arrow, unlike a drop-down's triangle
    const Style mark = ButtonStyle(view, false);
    if (first > 0) canvas.Set(r.x + r.width - 1, r.y, U'↑', mark);
    if (first + r.height < count) canvas.Set(r.x + r.width - 1, r.y + r.height - 1, U'↓', mark);
  }
}

const std::vector<app::FolderEntry>& ShownFolders(ViewState& view, const ui::Control& folderList) {
  if (view.foldersOf != &folderList || view.foldersPath != folderList.Path()) {
    view.foldersOf = &folderList;
    view.foldersPath = folderList.Path();
    view.folders = app::FolderEntries(folderList);
    view.folderHighlight = -1;  // a new folder starts with its own entry lit
  }
  return view.folders;
}

CellRect DropDownCells(const ui::Control& c, int canvasHeight) {
  const CellRect r = ControlCells(c);
  const int count = static_cast<int>(app::ListEntries(c).size());
  const int rows = std::clamp(count, 1, kDropDownRows);
  const int below = r.y + 1;
  const int y = below + rows <= canvasHeight ? below : std::max(0, r.y - rows);
  return {r.x, y, r.width, rows};
}

int ScrollTo(int first, int wanted, int rows, int count) {
  if (rows <= 0 || count <= rows) return 0;
  if (wanted >= 0 && wanted < first) first = wanted;
  if (wanted >= first + rows) first = wanted - rows + 1;
  return std::clamp(first, 0, count - rows);
}

void DrawWindow(Canvas& canvas, const ui::Window& window, ViewState& view) {
  canvas.Fill(0, 0, canvas.Width(), canvas.Height(), Style{});
  canvas.HideCursor();
  const WindowCells cells = WindowLayout(window);
  canvas.Fill(0, 0, cells.width, cells.Height(), WindowStyle());

  const Style caption = CaptionStyle(view);
  canvas.Fill(0, 0, cells.width, 1, caption);
  canvas.Put(1, 0, window.Caption(), caption, cells.width - 6);
  canvas.Put(cells.width - 3, 0, "[X]", caption);
  const bool busy = window.GetMousePointer() == ui::MousePointer::Hourglass;
  if (busy) {
    const std::string wait = " ⌛ Please wait … ";
    Style s = Colours(kBlack, RGB(255, 255, 0), true);
    s.reverse = !InColour(view);
    canvas.Put(cells.width - 3 - Columns(wait) - 1, 0, wait, s);
  }

  for (const auto& owned : window.Controls()) {
    ui::Control& c = *owned;
    if (c.kind() == ui::Kind::CommonDialog || !c.Shown()) continue;
    switch (c.kind()) {
      case ui::Kind::Frame:
        DrawFrame(canvas, c, view);
        break;
      case ui::Kind::Label:
        DrawLabel(canvas, c);
        break;
      case ui::Kind::TextBox:
        DrawTextBox(canvas, c, view);
        break;
      case ui::Kind::ComboBox:
      case ui::Kind::DriveListBox:
        DrawChoice(canvas, c, view);
        break;
      case ui::Kind::CheckBox:
        DrawCheckBox(canvas, c, view);
        break;
      case ui::Kind::CommandButton:
        DrawButton(canvas, c, view);
        break;
      case ui::Kind::Image:
        DrawImage(canvas, c, view);
        break;
      case ui::Kind::ListBox:
      case ui::Kind::DirListBox:
        DrawListBox(canvas, c, view);
        break;
      case ui::Kind::CommonDialog:
        break;
    }
  }
  if (view.dropDown != nullptr) {
    canvas.HideCursor();
    DrawDropDown(canvas, *view.dropDown, view);
  }

  DrawHintBar(canvas, cells.Height() - 1, cells.width, window, view);
}

void DrawHintBar(Canvas& canvas, int row, int width, const ui::Window& window,
                 const ViewState& view) {
  // On eight colours its light grey on black is what most terminals show by
  // themselves: in the terminal's own colours, it needs no colour switched.
  Style hints = view.depth == ColourDepth::Basic ? Style{} : Colours(kWhite, RGB(64, 64, 64));
  hints.reverse = !InColour(view);
  canvas.Fill(0, row, width, 1, hints);
  std::string text = view.note;
  int room = width - 2;
  if (!view.hints.empty())
    text = FitHints(view.hints, width - 2);
  else if (window.GetMousePointer() == ui::MousePointer::Hourglass)
    text = "Copying the files and writing the settings …";
  else if (text.empty() && view.dropDown != nullptr)
    text = FitHints("↑↓ choose   Enter take it   Esc close the list", width - 2);
  else if (text.empty()) {
    // A name too long for the line is cut before the keys, not written over them.
    const WindowHint hint = WindowHints(window, view, width - 2);
    room -= Columns(hint.keys) + 3;
    canvas.Put(width - 1 - Columns(hint.keys), row, hint.keys, hints);
    text = hint.what;
  }
  canvas.Put(1, row, text, hints, room);
}

std::vector<std::string> WrapWords(const std::string& line, int width) {
  width = std::max(1, width);
  std::vector<std::string> wrapped;
  std::u32string rest = DecodeUtf8(line);
  for (;;) {
    // The characters that fit, and the last blank among them.
    size_t fit = 0, blank = std::u32string::npos;
    for (int used = 0; fit < rest.size(); ++fit) {
      used += CharColumns(rest[fit]);
      if (used > width) break;
      if (rest[fit] == U' ') blank = fit;
    }
    if (fit == rest.size()) break;
    if (rest[fit] == U' ') blank = fit;
    const size_t cut =
        blank != std::u32string::npos && blank > 0 ? blank : std::max<size_t>(fit, 1);
    wrapped.push_back(EncodeText(rest.substr(0, cut)));
    rest.erase(0, cut < rest.size() && rest[cut] == U' ' ? cut + 1 : cut);
  }
  wrapped.push_back(EncodeText(rest));
  return wrapped;
}

void DrawTooSmall(Canvas& canvas, int columns, int rows) {
  canvas.Fill(0, 0, canvas.Width(), canvas.Height(), Style{});
  canvas.HideCursor();
  const std::string text =
      "The window needs a terminal of at least " + std::to_string(columns) + " x " +
      std::to_string(rows) + " characters; this one has " + std::to_string(canvas.Width()) + " x " +
      std::to_string(canvas.Height()) + ". Enlarge it to go on, or press Esc to close the window.";
  const std::vector<std::string> lines = WrapWords(text, std::max(1, canvas.Width() - 2));
  const int count = static_cast<int>(lines.size());
  const int top = std::max(0, (canvas.Height() - count) / 2);
  for (int i = 0; i < count; ++i) {
    canvas.Put(std::max(0, (canvas.Width() - Columns(lines[i])) / 2), top + i, lines[i], Style{});
  }
}

}  // namespace tui
