#include "app/terminal/canvas.h"

#include <wchar.h>

#include <algorithm>

namespace tui {
namespace {

bool unicodeShown = true;

bool IsControl(char32_t ch) {
  return ch < 0x20 || (ch >= 0x7f && ch < 0xa0);
}

// What stands for a character the terminal cannot show.
char32_t Replacement() {
  return unicodeShown ? U'\uFFFD' : U'?';
}

}  // namespace

bool UnicodeShown() {
  return unicodeShown;
}

void SetUnicodeShown(bool shown) {
  unicodeShown = shown;
}

int CharColumns(char32_t ch) {
  if (ch < 0xa0) return 1;  // controls too: their replacement
  const int w = wcwidth(static_cast<wchar_t>(ch));
  return w < 0 ? 1 : w;
}

int Columns(std::string_view utf8) {
  int columns = 0;
  for (char32_t ch : DecodeUtf8(utf8)) columns += CharColumns(ch);
  return columns;
}

std::string FitColumns(const std::string& utf8, int columns) {
  std::string out;
  int used = 0;
  for (char32_t ch : DecodeUtf8(utf8)) {
    used += CharColumns(ch);
    if (used > columns) break;
    out += EncodeUtf8(ch);
  }
  return out;
}

std::string EncodeText(std::u32string_view text) {
  std::string out;
  for (char32_t ch : text) out += EncodeUtf8(ch);
  return out;
}

Canvas::Canvas(int width, int height)
    : width_(std::max(0, width)),
      height_(std::max(0, height)),
      cells_(static_cast<size_t>(width_) * height_) {}

int Canvas::Set(int x, int y, char32_t ch, Style style) {
  if (IsControl(ch)) ch = Replacement();
  const int columns = CharColumns(ch);
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return columns;
  // Half of a wide character overwritten: the other half becomes a blank.
  Cell& cell = Mut(x, y);
  if (cell.ch == kWideRest && x > 0) Mut(x - 1, y).ch = U' ';
  if (x + 1 < width_ && Mut(x + 1, y).ch == kWideRest) Mut(x + 1, y).ch = U' ';
  if (columns == 2 && x + 1 >= width_) ch = U' ';
  cell = Cell{ch, 0, style};
  if (columns == 2 && x + 1 < width_) {
    if (x + 2 < width_ && Mut(x + 2, y).ch == kWideRest) Mut(x + 2, y).ch = U' ';
    Mut(x + 1, y) = Cell{kWideRest, 0, style};
  }
  return columns;
}

int Canvas::Put(int x, int y, std::string_view utf8, Style style, int maxWidth) {
  int written = 0;
  for (char32_t ch : DecodeUtf8(utf8)) {
    const int columns = CharColumns(IsControl(ch) ? Replacement() : ch);
    if (columns == 0) {  // a combining mark joins the character before it
      if (written > 0 && x + written - 1 < width_ && y >= 0 && y < height_ && x + written >= 1) {
        Cell& before = Mut(x + written - 1, y);
        Cell& base = before.ch == kWideRest && x + written >= 2 ? Mut(x + written - 2, y) : before;
        if (base.mark == 0) base.mark = ch;
      }
      continue;
    }
    if (written + columns > maxWidth || x + written + columns > width_) break;
    written += Set(x + written, y, ch, style);
  }
  return written;
}

void Canvas::Fill(int x, int y, int width, int height, Style style, char32_t ch) {
  const int left = std::max(0, x), right = std::min(width_, x + width);
  const bool narrow = !IsControl(ch) && CharColumns(ch) == 1;
  for (int yy = std::max(0, y); yy < std::min(height_, y + height); ++yy)
    for (int xx = left; xx < right; ++xx) {
      // Inside the run no wide character can be cut: its cells are set at once.
      if (narrow && xx > left && xx < right - 1)
        Mut(xx, yy) = Cell{ch, 0, style};
      else
        Set(xx, yy, ch, style);
    }
}

void Canvas::Box(int x, int y, int width, int height, Style style) {
  if (width < 2 || height < 2) return;
  const int right = x + width - 1, bottom = y + height - 1;
  for (int xx = x + 1; xx < right; ++xx) {
    Set(xx, y, U'─', style);
    Set(xx, bottom, U'─', style);
  }
  for (int yy = y + 1; yy < bottom; ++yy) {
    Set(x, yy, U'│', style);
    Set(right, yy, U'│', style);
  }
  Set(x, y, U'┌', style);
  Set(right, y, U'┐', style);
  Set(x, bottom, U'└', style);
  Set(right, bottom, U'┘', style);
}

void Canvas::Copy(const Canvas& from, int fromX, int fromY, int width, int height) {
  width = std::min({width, width_, from.width_ - fromX});
  height = std::min({height, height_, from.height_ - fromY});
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      Cell cell = from.At(fromX + x, fromY + y);
      const bool cut =
          (x == 0 && cell.ch == kWideRest) || (x == width - 1 && fromX + x + 1 < from.width_ &&
                                               from.At(fromX + x + 1, fromY + y).ch == kWideRest);
      if (cut) cell = Cell{U' ', 0, cell.style};
      Mut(x, y) = cell;
    }
}

std::string Canvas::RowText(int y) const {
  std::string row;
  for (int x = 0; x < width_; ++x) {
    const Cell& cell = At(x, y);
    if (cell.ch == kWideRest) continue;
    row += EncodeUtf8(cell.ch);
    if (cell.mark != 0) row += EncodeUtf8(cell.mark);
  }
  return row;
}

}  // namespace tui
