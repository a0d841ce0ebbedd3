// The terminal front end's own logic: how the keys curses reports become the
// window's, where the controls land on the character grid, how text is
// measured in columns, and the texts of boxes and dialogs.
#include <gtest/gtest.h>
#include <locale.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "app/common/file_choice.h"
#include "app/terminal/canvas.h"
#include "app/terminal/dialogs.h"
#include "app/terminal/keys.h"
#include "app/terminal/layout.h"
#include "app/terminal/session.h"
#include "app/terminal/terminal.h"
#include "app/terminal/view.h"
#include "test_support.h"
// Last: its OK and ERR are macros.
#define NCURSES_NOMACROS
#include <curses.h>

namespace {

using testsupport::TempTree;
using tui::Key;
using tui::KeyCode;

// What curses reports for a key (a function key or a character, after an Esc
// or not), as the window takes it.
TEST(KeyTable, CursesKeysBecomeTheWindowsKeys) {
  struct Row {
    bool function;
    int code;
    bool esc;
    KeyCode key;
    std::string modifiers = "";  // s shift, c ctrl, a alt
    std::string text = "";
  } rows[] = {
      {true, KEY_PPAGE, false, KeyCode::PageUp},
      {true, KEY_NPAGE, false, KeyCode::PageDown},
      {true, KEY_BTAB, false, KeyCode::BackTab, "s"},
      {true, KEY_F(52), false, KeyCode::F4, "a"},  // Alt-F4 as an xterm sends it
      {true, KEY_F(4), true, KeyCode::F4, "a"},    // Esc, then F4
      {true, KEY_F(15), false, KeyCode::F3, "s"},
      {true, KEY_ENTER, false, KeyCode::Enter},  // the keypad's
      {true, KEY_C1, false, KeyCode::Char, "", "1"},
      {true, KEY_SLEFT, false, KeyCode::Left, "s"},
      {false, '\t', true, KeyCode::Tab, "a"},
      {false, 0x11, false, KeyCode::Char, "c", "q"},
      {false, 0xE4, false, KeyCode::Char, "", "\xC3\xA4"},
      {false, 0x85, false, KeyCode::None},  // a C1 control is no character
      {false, 0x1b, false, KeyCode::Escape},
  };
  for (const Row& r : rows) {
    const Key k = tui::KeyFromCurses(r.function, r.code, r.esc);
    const std::string modifiers =
        std::string(k.shift ? "s" : "") + (k.ctrl ? "c" : "") + (k.alt ? "a" : "");
    EXPECT_EQ(k.code, r.key) << r.code;
    EXPECT_EQ(modifiers, k.code == KeyCode::None ? "" : r.modifiers) << r.code;
    EXPECT_EQ(k.text, r.text) << r.code;
  }
  // Page Up and Page Down move a list by a page its way.
  EXPECT_EQ(tui::MoveInList(tui::KeyFromCurses(true, KEY_PPAGE, false), 10, 30, 4), 6);
  EXPECT_EQ(tui::MoveInList(tui::KeyFromCurses(true, KEY_NPAGE, false), 10, 30, 4), 14);
  // Ctrl-Q is flow control's, never the close box.
  EXPECT_FALSE(tui::IsCloseKey(tui::KeyFromCurses(false, 0x11, false)));
  EXPECT_TRUE(tui::IsCloseKey(tui::KeyFromCurses(true, KEY_F(52), false)));
}

class TerminalLayout : public testsupport::FormTest {};

TEST_F(TerminalLayout, TheWindowMapsOntoCells) {
  const ui::Window& window = form_->window;
  const tui::WindowCells cells = tui::WindowLayout(window);
  EXPECT_EQ(cells.width, 99);       // 11880 twips at 120 a column
  EXPECT_EQ(cells.clientRows, 36);  // 8595 twips at 240 a row
  EXPECT_EQ(cells.Height(), 38);    // with the caption line and the hint line

  // Each speed-factor row: label and box on one row, rows apart, in their frame.
  const tui::CellRect frame = tui::ControlCells(*form_->FrameSpeedFactor);
  std::set<int> rows;
  for (int i = 1; i <= 5; ++i) {
    const tui::CellRect box = tui::ControlCells(*window.Find("TextSpeedFactor", i));
    const tui::CellRect label = tui::ControlCells(*window.Find("LabelSpeedFactor", i));
    EXPECT_EQ(box.y, label.y) << i;
    EXPECT_LE(label.x + label.width, box.x) << i;
    EXPECT_GT(box.y, frame.y);
    EXPECT_LT(box.y, frame.y + frame.height - 1);
    rows.insert(box.y);
  }
  EXPECT_EQ(rows.size(), 5u);

  // Controls that take input never share a cell, and all lie inside the window.
  std::vector<const ui::Control*> inputs;
  for (const auto& c : window.Controls()) {
    if (c->kind() == ui::Kind::CommonDialog) continue;
    const tui::CellRect r = tui::ControlCells(*c);
    EXPECT_GE(r.x, 0) << c->DisplayName();
    EXPECT_LE(r.x + r.width, cells.width) << c->DisplayName();
    EXPECT_GE(r.y, tui::WindowCells::kClientTop) << c->DisplayName();
    EXPECT_LE(r.y + r.height, cells.Height() - 1) << c->DisplayName();
    if (ui::TakesFocus(c->kind())) inputs.push_back(c.get());
  }
  for (size_t a = 0; a < inputs.size(); ++a)
    for (size_t b = a + 1; b < inputs.size(); ++b) {
      const tui::CellRect p = tui::ControlCells(*inputs[a]), q = tui::ControlCells(*inputs[b]);
      const bool apart = p.x + p.width <= q.x || q.x + q.width <= p.x || p.y + p.height <= q.y ||
                         q.y + q.height <= p.y;
      EXPECT_TRUE(apart) << inputs[a]->DisplayName() << " / " << inputs[b]->DisplayName();
    }

  // A click reaches the innermost control; the Tab key visits each input once.
  const tui::CellRect ok = tui::ControlCells(*form_->CommandOK);
  EXPECT_EQ(tui::ControlAt(window, ok.x + 1, ok.y + 1), form_->CommandOK);
  const tui::CellRect label = tui::ControlCells(*form_->LabelSupplier);
  EXPECT_EQ(tui::ControlAt(window, label.x, label.y), form_->LabelSupplier);
  const auto order = TabOrder(window);
  EXPECT_EQ(std::set<const ui::Control*>(order.begin(), order.end()).size(), inputs.size());
  EXPECT_EQ(order.size(), inputs.size());
  EXPECT_EQ(order.front(), form_->ComboSupplier);
}

// The window as drawn: hidden controls leave no trace, disabled ones are grey,
// the focused text box carries the cursor at its caret and shows its selection.
TEST_F(TerminalLayout, DrawingFollowsTheControlsState) {
  ui::Window& window = form_->window;
  window.SetCaption("Erweiterte Konfiguration Start - integriert");
  tui::ViewState view;
  view.depth = tui::ColourDepth::Palette256;
  tui::Canvas canvas(104, 40);
  tui::DrawWindow(canvas, window, view);
  EXPECT_NE(canvas.RowText(0).find("Erweiterte Konfiguration Start - integriert"),
            std::string::npos);
  EXPECT_NE(canvas.RowText(tui::ControlCells(*form_->LabelSupplier).y).find("Lieferant"),
            std::string::npos);
  // The database rows' frame is hidden at design time, and with it its buttons.
  for (int y = 0; y < canvas.Height(); ++y)
    EXPECT_EQ(canvas.RowText(y).find("Alarmdefinition.mdb"), std::string::npos) << y;
  // OK is disabled: its tick is drawn grey, Cancel's cross in red.
  auto inks = [&](const ui::Control& c) {
    std::set<uint32_t> colours;
    const tui::CellRect r = tui::ControlCells(c);
    for (int y = r.y; y < r.y + r.height; ++y)
      for (int x = r.x; x < r.x + r.width; ++x) {
        const tui::Cell& cell = canvas.At(x, y);
        if (cell.ch == U'▀' || cell.ch == U'▄') colours.insert(cell.style.bg);
        if (cell.ch == U'▀' || cell.ch == U'▄' || cell.ch == U'█') colours.insert(cell.style.fg);
      }
    return colours;
  };
  EXPECT_TRUE(inks(*form_->CommandOK).count(tui::PixelColour(tui::RGB(128, 128, 128), view.depth)));
  EXPECT_FALSE(inks(*form_->CommandOK).count(tui::PixelColour(tui::RGB(0, 170, 0), view.depth)));
  EXPECT_TRUE(inks(*form_->CommandCancel).count(tui::PixelColour(tui::RGB(210, 0, 0), view.depth)));
  EXPECT_FALSE(canvas.CursorShown());

  // A text box with the focus: cursor at the caret, the selection highlighted.
  ui::Control& box = *window.Find("TextSpeedFactor", 1);
  form_->FrameSpeedFactor->SetVisible(true);
  box.SetVisible(true);
  box.SetText("1234");
  window.MoveFocus(&box);
  box.SetSelStart(1);
  box.SetSelLength(2);
  tui::DrawWindow(canvas, window, view);
  const tui::CellRect r = tui::ControlCells(box);
  ASSERT_TRUE(canvas.CursorShown());
  EXPECT_EQ(canvas.CursorX(), r.x + 1);
  EXPECT_EQ(canvas.CursorY(), r.y);
  std::u32string shown;
  for (int x = r.x; x < r.x + 4; ++x) shown += canvas.At(x, r.y).ch;
  EXPECT_EQ(shown, U"1234");
  EXPECT_EQ(canvas.At(r.x + 1, r.y).style, tui::HighlightStyle(view));
  EXPECT_EQ(canvas.At(r.x + 2, r.y).style, tui::HighlightStyle(view));
  EXPECT_NE(canvas.At(r.x + 3, r.y).style, tui::HighlightStyle(view));
}

// A name too long for the hint line is cut before the keys at its right end.
TEST_F(TerminalLayout, HintLineCutsALongNameBeforeItsKeys) {
  ui::Control& box = *form_->window.Find("TextSpeedFactor", 1);
  form_->FrameSpeedFactor->SetVisible(true);
  box.SetVisible(true);
  const_cast<ui::Control*>(tui::LabelBefore(form_->window, box))->SetCaption(std::string(90, 'N'));
  form_->window.MoveFocus(&box);
  tui::ViewState view;
  tui::Canvas canvas(80, 1);
  tui::DrawHintBar(canvas, 0, 80, form_->window, view);
  const std::string row = canvas.RowText(0);
  EXPECT_EQ(row.substr(row.size() - 13), "   Esc close ") << row;
}

// Text takes the columns the terminal gives it: a CJK character two, a
// combining accent none; a wide character that would be cut stays out, and a
// control shows as a replacement.
TEST(TerminalOutput, TextIsMeasuredInColumns) {
  const std::string saved = setlocale(LC_CTYPE, nullptr);
  ASSERT_NE(setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  tui::Canvas canvas(8, 2);
  EXPECT_EQ(canvas.Put(0, 0, "\u65e5\u672c\u8a9e", tui::Style{}, 5), 4);
  EXPECT_EQ(canvas.RowText(0), "\u65e5\u672c    ");
  EXPECT_EQ(canvas.Put(0, 1, "e\u0301x\xC2\x85y", tui::Style{}), 4);
  EXPECT_EQ(canvas.RowText(1), "e\u0301x\uFFFDy    ");
  canvas.Set(1, 0, U'a', tui::Style{});  // half of a wide character overwritten
  EXPECT_EQ(canvas.RowText(0), " a\u672c    ");
  EXPECT_EQ(tui::Columns("\u231b Please"), 9);
  setlocale(LC_CTYPE, saved.c_str());
}

// A compiled terminfo entry with only the cursor-addressing string (or none).
std::string TerminfoEntry(const std::string& names, const std::string& cup) {
  std::string e;
  auto u16 = [&e](int v) {
    e += static_cast<char>(v & 0xFF);
    e += static_cast<char>((v >> 8) & 0xFF);
  };
  const std::string table = cup.empty() ? std::string() : cup + '\0';
  u16(0432);
  u16(static_cast<int>(names.size() + 1));
  u16(0);   // flags
  u16(0);   // numbers
  u16(11);  // strings, cup the last of them
  u16(static_cast<int>(table.size()));
  e += names + '\0';
  if (e.size() % 2 != 0) e += '\0';
  for (int i = 0; i < 10; ++i) u16(0xFFFF);
  u16(cup.empty() ? 0xFFFF : 0);
  return e + table;
}

// Terminals that cannot place the cursor, or that nobody here knows, get a
// reason instead of a screen full of escape codes.
TEST(TerminalKinds, OnlyTerminalsThatPlaceTheCursorShowTheWindow) {
  for (const char* term : {"xterm-256color", "linux", "screen.xterm-256color", "tmux", "vt220"})
    EXPECT_EQ(tui::TerminalProblem(term), "") << term;
  const std::string dumb = tui::TerminalProblem("dumb");
  EXPECT_NE(dumb.find("the terminal (TERM=dumb) cannot show the window"), std::string::npos);
  EXPECT_NE(dumb.find("set KORVEX_SCRIPT"), std::string::npos);
  EXPECT_NE(dumb.find("such as xterm"), std::string::npos);
  EXPECT_NE(tui::TerminalProblem(nullptr).find("TERM is not set"), std::string::npos);
  EXPECT_NE(tui::TerminalProblem("").find("TERM is not set"), std::string::npos);

  TempTree tree;
  const char* saved = std::getenv("TERMINFO");
  const std::string savedTerminfo = saved != nullptr ? saved : "";
  setenv("TERMINFO", tree.root().c_str(), 1);
  tree.Write("k/korvex-ansi", TerminfoEntry("korvex-ansi|test", "\x1b[%i%p1%d;%p2%dH"));
  tree.Write("k/korvex-glass", TerminfoEntry("korvex-glass|test", ""));
  EXPECT_EQ(tui::TerminalProblem("korvex-ansi"), "");
  EXPECT_NE(tui::TerminalProblem("korvex-glass").find("cannot show the window"), std::string::npos);
  EXPECT_NE(tui::TerminalProblem("korvex-none").find("no description"), std::string::npos);
  EXPECT_NE(tui::TerminalProblem("../k/korvex-ansi").find("no description"), std::string::npos);
  if (saved != nullptr)
    setenv("TERMINFO", savedTerminfo.c_str(), 1);
  else
    unsetenv("TERMINFO");
}

// A bitmap file with the given header fields and pixel rows as stored.
std::string BitmapFile(int width, int height, int bits, uint32_t compression,
                       const std::string& palette, const std::string& rows) {
  std::string b = "BM";
  auto le = [&b](uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) b += static_cast<char>((v >> (8 * k)) & 0xFF);
  };
  const uint32_t offset = 54 + static_cast<uint32_t>(palette.size());
  le(offset + static_cast<uint32_t>(rows.size()), 4), le(0, 4), le(offset, 4), le(40, 4);
  le(static_cast<uint32_t>(width), 4), le(static_cast<uint32_t>(height), 4), le(1, 2);
  le(static_cast<uint32_t>(bits), 2), le(compression, 4), le(static_cast<uint32_t>(rows.size()), 4);
  le(2835, 4), le(2835, 4), le(static_cast<uint32_t>(palette.size() / 4), 4), le(0, 4);
  return b + palette + rows;
}

// The logo's pixels as the window draws them: top row first, red green blue.
TEST(LogoPixels, RowsAndColoursComeOutAsShown) {
  TempTree tree;
  // 24 bits, stored bottom-up: blue, green, red bytes; rows padded to 4 bytes.
  tree.Write("bottom-up.bmp", BitmapFile(2, 2, 24, 0, "",
                                         std::string("\x00\x00\xFF\x00\xFF\x00\0\0", 8) +
                                             std::string("\xFF\x00\x00\xFF\xFF\xFF\0\0", 8)));
  auto p = ui::ReadBitmapPixels("C:\\bottom-up.bmp");
  ASSERT_TRUE(p.has_value());
  ASSERT_EQ(p->width, 2);
  ASSERT_EQ(p->height, 2);
  EXPECT_EQ(p->rgb, (std::vector<uint32_t>{0x0000FF, 0xFFFFFF, 0xFF0000, 0x00FF00}));
  // 8 bits with a palette, stored top-down (negative height).
  const std::string palette("\x00\x00\x00\x00\x00\x80\x00\x00", 8);  // black, dark green
  tree.Write("top-down.bmp",
             BitmapFile(2, -2, 8, 0, palette, std::string("\x01\x00\0\0\x00\x01\0\0", 8)));
  p = ui::ReadBitmapPixels("C:\\top-down.bmp");
  ASSERT_TRUE(p.has_value());
  EXPECT_EQ(p->rgb, (std::vector<uint32_t>{0x008000, 0x000000, 0x000000, 0x008000}));
  // Cut short or missing pictures are shown by name instead.
  tree.Write("short.bmp", BitmapFile(4, 4, 24, 0, "", "\x01\x02"));
  EXPECT_FALSE(ui::ReadBitmapPixels("C:\\short.bmp").has_value());
  EXPECT_FALSE(ui::ReadBitmapPixels("C:\\missing.bmp").has_value());
}

// The folder list's entries carry the paths that opening them goes to.
TEST_F(TerminalLayout, FolderEntriesLeadWhereTheyShow) {
  tree_.MakeFolder("SaveRestore/Copy_A/program");
  tree_.MakeFolder("SaveRestore/Copy_A/Filler");
  tree_.MakeFolder("SaveRestore/Copy_A/.hidden");
  form_->DirSAR->SetPath("C:\\SaveRestore\\Copy_A");
  const std::vector<app::FolderEntry> entries = app::FolderEntries(*form_->DirSAR);
  std::vector<std::string> paths;
  for (const auto& e : entries) paths.push_back(e.path);
  EXPECT_EQ(paths, (std::vector<std::string>{"C:\\", "C:\\SaveRestore", "C:\\SaveRestore\\Copy_A",
                                             "C:\\SaveRestore\\Copy_A\\Filler",
                                             "C:\\SaveRestore\\Copy_A\\program"}));
  EXPECT_EQ(app::CurrentFolderEntry(entries), 2);
  EXPECT_EQ(entries[0].label, "c:\\");
  EXPECT_EQ(entries[3].depth, 3);
  form_->DirSAR->SetPath("C:\\");
  EXPECT_EQ(app::FolderEntries(*form_->DirSAR)[0].path, "C:\\");
  EXPECT_EQ(app::FolderEntries(*form_->DirSAR)[1].path, "C:\\Korvex");
}

TEST(DialogTexts, LinesPatternsAndFilters) {
  // The step's LF CR breaks a line once; CR LF and single breaks do too.
  EXPECT_EQ(tui::MessageLines("Cancel configuration?\n\r\"Yes\" will abort", 60),
            (std::vector<std::string>{"Cancel configuration?", "\"Yes\" will abort"}));
  EXPECT_EQ(tui::MessageLines("a\r\nb\n\nc", 60), (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_EQ(tui::MessageLines("one two three", 10), (std::vector<std::string>{"one two", "three"}));

  EXPECT_EQ(app::FilterPatterns("Datenbank (*.mdb)|*.mdb"), std::vector<std::string>{"*.mdb"});
  EXPECT_EQ(app::FilterPatterns("Bilder|*.bmp; *.gif|Alle|*.*"),
            (std::vector<std::string>{"*.bmp", "*.gif"}));
  EXPECT_EQ(app::FilterPatterns(""), std::vector<std::string>{"*"});
  EXPECT_TRUE(app::MatchesPattern("Korvex.MDB", "*.mdb"));
  EXPECT_TRUE(app::MatchesPattern("a.b.mdb", "*.mdb"));
  EXPECT_FALSE(app::MatchesPattern("Korvex.mdb.bak", "*.mdb"));
  EXPECT_FALSE(app::MatchesPattern("Korvex.vws", "*.mdb"));
  EXPECT_TRUE(app::MatchesPattern("Help1.mdb", "Help?.mdb"));
  EXPECT_TRUE(app::MatchesPattern("no-extension", "*.*"));
}

}  // namespace
