// The terminal front end's own logic: what terminals send for keys and clicks,
// where the controls land on the character grid, what reaches the terminal
// when cells change, and the texts of boxes and dialogs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>

#include "app/common/file_choice.h"
#include "app/terminal/canvas.h"
#include "app/terminal/charset.h"
#include "app/terminal/dialogs.h"
#include "app/terminal/keys.h"
#include "app/terminal/layout.h"
#include "app/terminal/terminal.h"
#include "app/terminal/view.h"
#include "test_support.h"

namespace {

using testsupport::TempTree;
using tui::DecodeKeys;
using tui::Key;
using tui::KeyCode;

std::vector<Key> Decode(std::string bytes, bool complete = true) {
  return DecodeKeys(bytes, complete);
}

TEST(KeyDecoding, SequencesOfCommonTerminals) {
  struct Case {
    std::string bytes;
    KeyCode code;
    bool shift = false;
  } cases[] = {
      {"\x1b[A", KeyCode::Up},
      {"\x1bOB", KeyCode::Down},
      {"\x1b[1;2D", KeyCode::Left, true},
      {"\x1b[Z", KeyCode::BackTab, true},
      {"\x1b[3~", KeyCode::Delete},
      {"\x1b[H", KeyCode::Home},
      {"\x1b[4~", KeyCode::End},
      {"\x1bOP", KeyCode::F1},
      {"\x1b[11~", KeyCode::F1},
      {"\x1b[[A", KeyCode::F1},  // the Linux console
      {"\x1b[[E", KeyCode::F5},
      {"\x1b[1P", KeyCode::F1},
      {"\x1b[F", KeyCode::End},
      {"\x1bOH", KeyCode::Home},
      {"\x1bOF", KeyCode::End},
      {"\x1b[1~", KeyCode::Home},
      {"\x1b[7~", KeyCode::Home},
      {"\x1b[8~", KeyCode::End},
      {"\r", KeyCode::Enter},
      {"\n", KeyCode::Enter},
      {"\x7f", KeyCode::Backspace},
      {"\t", KeyCode::Tab},
  };
  for (const Case& c : cases) {
    const auto keys = Decode(c.bytes);
    ASSERT_EQ(keys.size(), 1u) << c.bytes.substr(1);
    EXPECT_EQ(keys[0].code, c.code) << c.bytes.substr(1);
    EXPECT_EQ(keys[0].shift, c.shift) << c.bytes.substr(1);
  }
  // Text keys, control letters and Alt.
  auto keys = Decode("a\xC3\xA4\x03\x1bx");
  ASSERT_EQ(keys.size(), 4u);
  EXPECT_EQ(keys[0].text, "a");
  EXPECT_EQ(keys[1].text, "\xC3\xA4");  // one key for a two-byte character
  EXPECT_TRUE(keys[2].IsCtrl('c'));
  EXPECT_TRUE(keys[3].alt);
  EXPECT_EQ(keys[3].text, "x");
  // Sequences the front end does not know are skipped, not typed.
  keys = Decode("\x1b[200~z");
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].text, "z");
}

TEST(KeyDecoding, MouseReports) {
  auto keys = Decode("\x1b[<0;31;5M\x1b[<0;31;5m\x1b[<65;2;3M");
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0].code, KeyCode::Mouse);
  EXPECT_EQ(keys[0].x, 30);  // 0-based cells
  EXPECT_EQ(keys[0].y, 4);
  EXPECT_TRUE(keys[0].press);
  EXPECT_FALSE(keys[1].press);
  EXPECT_EQ(keys[2].button, 65);  // wheel down
  // The older three-byte form: button, column and row offset by 32.
  keys = Decode(std::string("\x1b[M") + char(32) + char(33 + 9) + char(33 + 2));
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].x, 9);
  EXPECT_EQ(keys[0].y, 2);
}

TEST(KeyDecoding, SequencesSplitAcrossReadsWaitForTheirRest) {
  std::string input = "x\x1b[";
  auto keys = DecodeKeys(input, false);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(input, "\x1b[");  // kept for the next read
  input += "1;2C";
  keys = DecodeKeys(input, false);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].code, KeyCode::Right);
  EXPECT_TRUE(input.empty());
  input = "\x1b[[";
  EXPECT_TRUE(DecodeKeys(input, false).empty());
  input += "B";
  keys = DecodeKeys(input, false);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].code, KeyCode::F2);
  // A lone ESC is the Escape key only once no more bytes follow.
  input = "\x1b";
  EXPECT_TRUE(DecodeKeys(input, false).empty());
  keys = DecodeKeys(input, true);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].code, KeyCode::Escape);
  // A half character waits too; an invalid byte is dropped.
  input = "\xC3";
  EXPECT_TRUE(DecodeKeys(input, false).empty());
  input =
      "\xFF"
      "b";
  keys = DecodeKeys(input, true);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].text, "b");
}

// A terminal in a single-byte locale sends its own bytes: they reach the
// program as UTF-8, and mouse reports keep their raw coordinate bytes.
TEST(KeyDecoding, TypedBytesFollowTheLocalesCharacterSet) {
  const tui::Charset latin1 = tui::SingleByteCharset("ISO-8859-1", false);
  std::string input = "\xE4\x1b\xDF\x1b[M \xC0#";
  auto keys = DecodeKeys(input, true, latin1);
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0].text, "\xC3\xA4");  // ä
  EXPECT_EQ(keys[1].text, "\xC3\x9F");  // Alt-ß
  EXPECT_TRUE(keys[1].alt);
  EXPECT_EQ(keys[2].code, KeyCode::Mouse);
  EXPECT_EQ(keys[2].x, 0xC0 - 33);
  input = "\xA4";
  keys = DecodeKeys(input, true, tui::SingleByteCharset("ISO-8859-15", false));
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].text, "\xE2\x82\xAC");  // €
  // ASCII has no such byte, and a C1 control is no character.
  input = "\xE4\x85z";
  keys = DecodeKeys(input, true, tui::SingleByteCharset("ANSI_X3.4-1968", false));
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].text, "z");
  input = "\x85";
  EXPECT_TRUE(DecodeKeys(input, true, latin1).empty());
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
        if (cell.ch == U'▀') colours.insert(cell.style.fg), colours.insert(cell.style.bg);
      }
    return colours;
  };
  EXPECT_TRUE(inks(*form_->CommandOK).count(tui::RGB(128, 128, 128)));
  EXPECT_FALSE(inks(*form_->CommandOK).count(tui::RGB(0, 170, 0)));
  EXPECT_TRUE(inks(*form_->CommandCancel).count(tui::RGB(210, 0, 0)));
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

TEST(TerminalOutput, OnlyChangedCellsAreSent) {
  tui::Canvas before(20, 3), after(20, 3);
  before.Put(0, 0, "Lieferant", tui::Style{});
  after.Put(0, 0, "Lieferant", tui::Style{});
  after.Put(5, 2, "Z", tui::Style{});
  const std::string full = tui::Render(nullptr, after, tui::ColourDepth::Palette256);
  EXPECT_NE(full.find("Lieferant"), std::string::npos);
  EXPECT_NE(full.find("\x1b[2J"), std::string::npos);
  const std::string diff = tui::Render(&before, after, tui::ColourDepth::Palette256);
  EXPECT_EQ(diff.find("Lieferant"), std::string::npos);
  EXPECT_NE(diff.find("\x1b[3;6H"), std::string::npos);  // moved there
  EXPECT_EQ(std::count(diff.begin(), diff.end(), 'Z'), 1);
  // Every frame ends with the cursor's state; nothing changed sends only that.
  EXPECT_EQ(tui::Render(&after, after, tui::ColourDepth::Palette256), "\x1b[?25l");
  after.SetCursor(2, 1);
  EXPECT_EQ(tui::Render(&after, after, tui::ColourDepth::None), "\x1b[2;3H\x1b[?25h");
  // Colours follow the terminal: exact, 256 or 16, none at all.
  tui::Canvas green(1, 1);
  tui::Style s;
  s.bg = tui::RGB(0, 255, 0);
  green.Set(0, 0, U' ', s);
  EXPECT_NE(tui::Render(nullptr, green, tui::ColourDepth::TrueColour).find("48;2;0;255;0"),
            std::string::npos);
  EXPECT_NE(tui::Render(nullptr, green, tui::ColourDepth::Palette256).find("48;5;46"),
            std::string::npos);
  EXPECT_NE(tui::Render(nullptr, green, tui::ColourDepth::Basic).find(";102m"), std::string::npos);
  EXPECT_EQ(tui::Render(nullptr, green, tui::ColourDepth::None).find("48"), std::string::npos);
}

// Without UTF-8 the text goes out in the locale's character set, what it
// lacks as "?", frames from ASCII or from the terminal's line-drawing set, and
// a picture's half blocks as spaces in the upper pixel's colour.
TEST(TerminalOutput, CharactersFollowTheTerminalsCharacterSet) {
  tui::Canvas canvas(12, 4);
  tui::Style text;  // drawn cell by cell, spaces too
  text.bg = tui::RGB(192, 192, 192);
  canvas.Box(0, 0, 12, 4, text);
  canvas.Put(1, 1, "für 5 € ▼", text);
  tui::Style pixel;
  pixel.fg = tui::RGB(255, 0, 0);
  pixel.bg = tui::RGB(0, 0, 255);
  canvas.Set(1, 2, U'▀', pixel);
  auto row = [](const std::string& out, const std::string& start) {
    const size_t at = out.find(start);
    return at == std::string::npos ? std::string() : out.substr(at, 40);
  };

  const std::string latin1 = tui::Render(nullptr, canvas, tui::ColourDepth::Basic,
                                         tui::SingleByteCharset("ISO-8859-1", false));
  EXPECT_NE(latin1.find("+----------+"), std::string::npos) << latin1;
  EXPECT_EQ(row(latin1, "f\xFCr").substr(0, 9), "f\xFCr 5 ? v");
  for (char c : latin1) EXPECT_TRUE(static_cast<unsigned char>(c) < 0x80 || c == '\xFC');
  EXPECT_NE(latin1.find("101m "), std::string::npos) << latin1;  // red: the upper pixel

  const std::string latin9 = tui::Render(nullptr, canvas, tui::ColourDepth::Basic,
                                         tui::SingleByteCharset("ISO-8859-15", true));
  EXPECT_NE(latin9.find("f\xFCr 5 \xA4 v"), std::string::npos);
  EXPECT_LT(latin9.find("\x1b)0\x0e"), latin9.find("lqqqqqqqqqqk")) << latin9;
  // Text after a frame switches back; the frame ends in ASCII.
  EXPECT_NE(latin9.find("x\x0f"
                        "f\xFCr"),
            std::string::npos)
      << latin9;
  EXPECT_EQ(latin9.rfind('\x0f'), latin9.rfind("mqqqqqqqqqqj") + 12);

  const std::string utf8 = tui::Render(nullptr, canvas, tui::ColourDepth::Basic, tui::Charset{});
  EXPECT_NE(utf8.find("für 5 € ▼"), std::string::npos);
  EXPECT_NE(utf8.find("┌──"), std::string::npos);
  EXPECT_EQ(utf8.find('\x0e'), std::string::npos);
  // A whole frame first undoes a character set that another program left set.
  EXPECT_EQ(utf8.rfind("\x0f\x1b(B", 0), 0u) << utf8;
}

// The Linux console has no bright backgrounds: the window stays grey, the white
// text boxes turn cyan, bright foregrounds come as bold.
TEST(TerminalOutput, LinuxConsoleColours) {
  tui::Canvas canvas(4, 1);
  tui::Style s;
  s.fg = tui::RGB(0, 0, 0);
  s.bg = tui::RGB(192, 192, 192);
  canvas.Set(0, 0, U'a', s);
  s.bg = tui::RGB(255, 255, 255);
  canvas.Set(1, 0, U'b', s);
  s.bg = tui::RGB(0, 255, 0);
  canvas.Set(2, 0, U'c', s);
  s.fg = tui::RGB(255, 255, 255);
  s.bg = tui::RGB(0, 0, 128);
  canvas.Set(3, 0, U'd', s);
  const std::string out = tui::Render(nullptr, canvas, tui::ColourDepth::Console);
  EXPECT_NE(out.find("30;47ma"), std::string::npos) << out;
  EXPECT_NE(out.find("30;46mb"), std::string::npos) << out;
  EXPECT_NE(out.find("30;42mc"), std::string::npos) << out;
  EXPECT_NE(out.find("1;37;44md"), std::string::npos) << out;
  EXPECT_EQ(out.find(";10"), std::string::npos) << out;
  EXPECT_EQ(out.find(";9"), std::string::npos) << out;
}

// The character set comes from LC_ALL, LC_CTYPE or LANG, the first one set; a
// locale that is not installed still names it; none set at all is UTF-8.
TEST(TerminalKinds, CharacterSetFollowsTheLocale) {
  const char* names[] = {"LC_ALL", "LC_CTYPE", "LANG"};
  std::vector<std::pair<std::string, const char*>> saved;
  for (const char* name : names) {
    const char* value = std::getenv(name);
    saved.push_back({value != nullptr ? value : "", value});
  }
  auto set = [&](const char* all, const char* ctype, const char* lang) {
    const char* values[] = {all, ctype, lang};
    for (int i = 0; i < 3; ++i)
      values[i] != nullptr ? setenv(names[i], values[i], 1) : unsetenv(names[i]);
  };
  set(nullptr, nullptr, nullptr);
  EXPECT_EQ(tui::LocaleCodeset(), "UTF-8");
  set("", "C", "xx_YY.UTF-8");
  EXPECT_EQ(tui::LocaleCodeset(), "ANSI_X3.4-1968");
  set(nullptr, nullptr, "xx_YY.ISO-8859-15@euro");
  EXPECT_EQ(tui::LocaleCodeset(), "ISO-8859-15");
  EXPECT_EQ(tui::DetectCharset().high[0xA4 - 0x80], U'€');
  for (int i = 0; i < 3; ++i)
    saved[i].second != nullptr ? setenv(names[i], saved[i].first.c_str(), 1) : unsetenv(names[i]);
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
  tree.Write("6b/korvex-vt52", TerminfoEntry("korvex-vt52|test", "\x1bY%p1%' '%+%c"));
  tree.Write("k/korvex-glass", TerminfoEntry("korvex-glass|test", ""));
  EXPECT_EQ(tui::TerminalProblem("korvex-ansi"), "");
  EXPECT_NE(tui::TerminalProblem("korvex-vt52").find("ANSI"), std::string::npos);
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
