// A grid of character cells that the front end draws into, and the output that
// brings a terminal from one grid to the next: only the cells that changed are
// sent, with the colours the terminal can show.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/terminal/charset.h"
#include "platform/text.h"

namespace tui {

using platform::DecodeUtf8;
using platform::EncodeUtf8;

// Colours are RGB triples 0xRRGGBB; kDefaultColour is the terminal's own.
constexpr uint32_t kDefaultColour = 0xFF000000;
constexpr uint32_t RGB(int r, int g, int b) {
  return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
         static_cast<uint32_t>(b);
}

// What the terminal can show, from TERM, COLORTERM and NO_COLOR. Console is
// the Linux console: eight colours, bright ones in the foreground only.
enum class ColourDepth { None, Basic, Console, Palette256, TrueColour };
ColourDepth DetectColourDepth();

struct Style {
  uint32_t fg = kDefaultColour;
  uint32_t bg = kDefaultColour;
  bool bold = false;
  bool reverse = false;  // the terminal swaps the colours (used without colour)
  bool underline = false;
  bool dim = false;
  bool operator==(const Style&) const = default;
};

struct Cell {
  char32_t ch = U' ';
  Style style;
  bool operator==(const Cell&) const = default;
};

class Canvas {
 public:
  Canvas() = default;
  Canvas(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  const Cell& At(int x, int y) const { return cells_[static_cast<size_t>(y) * width_ + x]; }

  void Set(int x, int y, char32_t ch, Style style);
  // Writes UTF-8 text from x on, one character a cell, cut at maxWidth cells and
  // at the canvas edge; returns the number of cells written.
  int Put(int x, int y, std::string_view utf8, Style style, int maxWidth = 1 << 30);
  void Fill(int x, int y, int width, int height, Style style, char32_t ch = U' ');
  // A box drawn with line characters (the inside is left as it is).
  void Box(int x, int y, int width, int height, Style style, bool heavy = false);

  // Where the terminal's cursor stands after drawing, and whether it shows.
  void SetCursor(int x, int y) {
    cursorX_ = x;
    cursorY_ = y;
    cursorShown_ = true;
  }
  void HideCursor() { cursorShown_ = false; }
  bool CursorShown() const { return cursorShown_; }
  int CursorX() const { return cursorX_; }
  int CursorY() const { return cursorY_; }

  // The row as plain text (for tests and checks).
  std::string RowText(int y) const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<Cell> cells_;
  int cursorX_ = 0;
  int cursorY_ = 0;
  bool cursorShown_ = false;
};

// The bytes that turn a terminal showing `before` into `after`: every cell
// when before is null or of another size (the screen is cleared first),
// otherwise only the changed cells. The output always ends with the cursor's
// position and visibility ("\x1b[?25h" or "\x1b[?25l"), so a reader can tell
// where a frame ends. Characters are sent in the terminal's character set;
// without UTF-8 an upper-half block becomes a space in the upper colour.
std::string Render(const Canvas* before, const Canvas& after, ColourDepth depth,
                   const Charset& charset = TerminalCharset());

}  // namespace tui
