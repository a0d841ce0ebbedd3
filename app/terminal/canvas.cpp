#include "app/terminal/canvas.h"

#include <wchar.h>

#include <algorithm>
#include <unordered_map>

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

int Red(uint32_t c) {
  return (c >> 16) & 0xFF;
}
int Green(uint32_t c) {
  return (c >> 8) & 0xFF;
}
int Blue(uint32_t c) {
  return c & 0xFF;
}

constexpr uint32_t kBasic[16] = {
    RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
    RGB(0, 0, 128),     RGB(128, 0, 128), RGB(0, 128, 128), RGB(192, 192, 192),
    RGB(128, 128, 128), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
    RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255)};

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

int Basic16(uint32_t c) {
  // A frame asks for the few colours of the window thousands of times.
  static std::unordered_map<uint32_t, int> known;
  if (const auto it = known.find(c); it != known.end()) return it->second;
  int best = 0;
  long bestDistance = -1;
  for (int i = 0; i < 16; ++i) {
    const long dr = Red(c) - Red(kBasic[i]), dg = Green(c) - Green(kBasic[i]),
               db = Blue(c) - Blue(kBasic[i]);
    const long d = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || d < bestDistance) {
      best = i;
      bestDistance = d;
    }
  }
  known.emplace(c, best);
  return best;
}

int Palette256(uint32_t c) {
  auto level = [](int v) { return v < 48 ? 0 : v < 115 ? 1 : (v - 35) / 40; };
  const int r = level(Red(c)), g = level(Green(c)), b = level(Blue(c));
  if (r == g && g == b && Red(c) == Green(c) && Green(c) == Blue(c) && Red(c) > 8 && Red(c) < 238 &&
      Red(c) != 95 && Red(c) != 135 && Red(c) != 175 && Red(c) != 215)
    return 232 + (Red(c) - 8) / 10;  // the grey ramp
  return 16 + 36 * r + 6 * g + b;
}

uint32_t PixelColour(uint32_t c, ColourDepth depth) {
  if (c == kDefaultColour) return c;
  switch (depth) {
    case ColourDepth::Basic: {
      // The dimmer twin of a bright colour, as for backgrounds: dark grey (a
      // disabled picture) as black rather than lost in the grey face.
      const int i = Basic16(c);
      return kBasic[i == 15 ? 7 : i % 8];
    }
    case ColourDepth::Bright:
      return kBasic[Basic16(c)];
    case ColourDepth::Palette256: {
      const int i = Palette256(c);
      if (i >= 232) return RGB(8 + 10 * (i - 232), 8 + 10 * (i - 232), 8 + 10 * (i - 232));
      auto level = [](int n) { return n == 0 ? 0 : 55 + 40 * n; };
      return RGB(level((i - 16) / 36), level((i - 16) / 6 % 6), level((i - 16) % 6));
    }
    default:
      return c;
  }
}

uint32_t UsualInk(uint32_t c) {
  if (c == kDefaultColour) return kDefaultColour;
  return Red(c) * 299 + Green(c) * 587 + Blue(c) * 114 < 128000 ? RGB(255, 255, 255) : RGB(0, 0, 0);
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
