// A grid of character cells that the front end draws into; the terminal
// (terminal.h) shows it through curses. Text is measured in columns as the
// terminal shows it: a CJK character takes two cells, a combining accent none.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/text.h"

namespace tui {

using platform::DecodeUtf8;
using platform::EncodeUtf8;

// Colours are RGB triples 0xRRGGBB; kDefaultColour is the terminal's own.
constexpr uint32_t kDefaultColour = 0xFF000000;
constexpr uint32_t RGB(int r, int g, int b) {
  return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
         static_cast<uint32_t>(b);
}

// What the terminal can show: no colours, eight (bright ones in the
// foreground only, as bold), sixteen, or the 256-colour palette.
enum class ColourDepth { None, Basic, Bright, Palette256 };

// The nearest of the 16 basic colours, as its index (0-7 normal, 8-15 bright),
// and the nearest entry of the 256-colour palette.
int Basic16(uint32_t rgb);
int Palette256(uint32_t rgb);
// The colour a picture's pixel shows as at `depth`: the palette entry the
// terminal has for it; on eight colours one of the eight normal ones, since a
// bright one needs bold, switched on and off around every cell.
uint32_t PixelColour(uint32_t rgb, ColourDepth depth);
// The ink a background usually carries: black on light ones, white on dark
// ones, the terminal's own on the terminal's own.
uint32_t UsualInk(uint32_t background);

// The columns a character takes on the terminal (wcwidth): 0 for a combining
// mark, 2 for a wide one; a control counts as the one column of the
// replacement it shows as, a character the locale does not know as one.
int CharColumns(char32_t ch);
// The columns of UTF-8 text, and its longest start that fits into `columns`.
int Columns(std::string_view utf8);
std::string FitColumns(const std::string& utf8, int columns);
std::string EncodeText(std::u32string_view text);

// Whether characters beyond ASCII reach the terminal as they are (a UTF-8
// locale), set when the terminal is entered; otherwise the locale's
// character set has what it has and marks are drawn with ASCII.
bool UnicodeShown();
void SetUnicodeShown(bool shown);

struct Style {
  uint32_t fg = kDefaultColour;
  uint32_t bg = kDefaultColour;
  bool bold = false;
  bool reverse = false;  // the terminal swaps the colours (used without colour)
  bool underline = false;
  bool dim = false;
  bool operator==(const Style&) const = default;
};

// The second cell of a wide character.
constexpr char32_t kWideRest = 0xFFFFFFFF;

struct Cell {
  char32_t ch = U' ';
  char32_t mark = 0;  // a combining mark over the character
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

  // One character at (x, y); a wide one takes the next cell too (a blank
  // where there is none). Returns the columns taken.
  int Set(int x, int y, char32_t ch, Style style);
  // Writes UTF-8 text from x on, cut at maxWidth columns and at the canvas
  // edge; a wide character that would be cut is left out. Controls show as
  // a replacement character. Returns the columns written.
  int Put(int x, int y, std::string_view utf8, Style style, int maxWidth = 1 << 30);
  void Fill(int x, int y, int width, int height, Style style, char32_t ch = U' ');
  // A box drawn with line characters (the inside is left as it is).
  void Box(int x, int y, int width, int height, Style style);
  // Copies the cells of `from` from (fromX, fromY) on to the top left, a wide
  // character cut by an edge left blank.
  void Copy(const Canvas& from, int fromX, int fromY, int width, int height);

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
  Cell& Mut(int x, int y) { return cells_[static_cast<size_t>(y) * width_ + x]; }
  int width_ = 0;
  int height_ = 0;
  std::vector<Cell> cells_;
  int cursorX_ = 0;
  int cursorY_ = 0;
  bool cursorShown_ = false;
};

}  // namespace tui
