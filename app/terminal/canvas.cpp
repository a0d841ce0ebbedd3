#include "app/terminal/canvas.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace tui {

ColourDepth DetectColourDepth() {
  const char* noColour = std::getenv("NO_COLOR");
  if (noColour != nullptr && *noColour != '\0') return ColourDepth::None;
  const std::string term = std::getenv("TERM") ? std::getenv("TERM") : "";
  const std::string colorTerm = std::getenv("COLORTERM") ? std::getenv("COLORTERM") : "";
  if (term.empty() || term == "dumb") return ColourDepth::None;
  if (term == "linux" || term.rfind("linux-", 0) == 0)
    return term.find("-m") != std::string::npos ? ColourDepth::None : ColourDepth::Console;
  if (colorTerm == "truecolor" || colorTerm == "24bit") return ColourDepth::TrueColour;
  if (term.find("256color") != std::string::npos || term.find("direct") != std::string::npos)
    return ColourDepth::Palette256;
  if (term.find("mono") != std::string::npos || term == "vt100" || term == "vt220")
    return ColourDepth::None;
  return ColourDepth::Basic;
}

Canvas::Canvas(int width, int height)
    : width_(std::max(0, width)),
      height_(std::max(0, height)),
      cells_(static_cast<size_t>(width_) * height_) {}

void Canvas::Set(int x, int y, char32_t ch, Style style) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  cells_[static_cast<size_t>(y) * width_ + x] = Cell{ch, style};
}

int Canvas::Put(int x, int y, std::string_view utf8, Style style, int maxWidth) {
  int written = 0;
  for (char32_t ch : DecodeUtf8(utf8)) {
    if (written >= maxWidth) break;
    if (ch < 0x20 || ch == 0x7f) ch = U' ';
    Set(x + written, y, ch, style);
    ++written;
  }
  return written;
}

void Canvas::Fill(int x, int y, int width, int height, Style style, char32_t ch) {
  for (int yy = std::max(0, y); yy < std::min(height_, y + height); ++yy)
    for (int xx = std::max(0, x); xx < std::min(width_, x + width); ++xx)
      cells_[static_cast<size_t>(yy) * width_ + xx] = Cell{ch, style};
}

void Canvas::Box(int x, int y, int width, int height, Style style, bool heavy) {
  if (width < 2 || height < 2) return;
  const char32_t h = heavy ? U'━' : U'─', v = heavy ? U'┃' : U'│';
  const int right = x + width - 1, bottom = y + height - 1;
  for (int xx = x + 1; xx < right; ++xx) {
    Set(xx, y, h, style);
    Set(xx, bottom, h, style);
  }
  for (int yy = y + 1; yy < bottom; ++yy) {
    Set(x, yy, v, style);
    Set(right, yy, v, style);
  }
  Set(x, y, heavy ? U'┏' : U'┌', style);
  Set(right, y, heavy ? U'┓' : U'┐', style);
  Set(x, bottom, heavy ? U'┗' : U'└', style);
  Set(right, bottom, heavy ? U'┛' : U'┘', style);
}

std::string Canvas::RowText(int y) const {
  std::string row;
  for (int x = 0; x < width_; ++x) row += EncodeUtf8(At(x, y).ch);
  return row;
}

namespace {

int Red(uint32_t c) {
  return (c >> 16) & 0xFF;
}
int Green(uint32_t c) {
  return (c >> 8) & 0xFF;
}
int Blue(uint32_t c) {
  return c & 0xFF;
}

// The nearest of the 16 basic colours, as its index (0-7 normal, 8-15 bright).
int Basic16(uint32_t c) {
  static const uint32_t kBasic[16] = {
      RGB(0, 0, 0),       RGB(128, 0, 0),   RGB(0, 128, 0),   RGB(128, 128, 0),
      RGB(0, 0, 128),     RGB(128, 0, 128), RGB(0, 128, 128), RGB(192, 192, 192),
      RGB(128, 128, 128), RGB(255, 0, 0),   RGB(0, 255, 0),   RGB(255, 255, 0),
      RGB(0, 0, 255),     RGB(255, 0, 255), RGB(0, 255, 255), RGB(255, 255, 255)};
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

void AppendColour(std::string& out, uint32_t c, bool background, ColourDepth depth) {
  if (c == kDefaultColour) {
    out += background ? ";49" : ";39";
    return;
  }
  switch (depth) {
    case ColourDepth::None:
      return;
    case ColourDepth::Basic: {
      const int i = Basic16(c);
      out += ";" +
             std::to_string((i < 8 ? (background ? 40 : 30) : (background ? 100 : 90)) + (i % 8));
      return;
    }
    case ColourDepth::Console: {
      // Bright foregrounds as bold, which the console shows bright; bright
      // backgrounds do not exist there: the dimmer twin instead, and white
      // (the text boxes) as cyan so that fields still stand out from the grey.
      const int i = Basic16(c);
      if (background)
        out += ";" + std::to_string(40 + (i == 15 ? 6 : i % 8));
      else
        out += (i < 8 ? ";" : ";1;") + std::to_string(30 + i % 8);
      return;
    }
    case ColourDepth::Palette256:
      out += (background ? ";48;5;" : ";38;5;") + std::to_string(Palette256(c));
      return;
    case ColourDepth::TrueColour:
      out += (background ? ";48;2;" : ";38;2;") + std::to_string(Red(c)) + ";" +
             std::to_string(Green(c)) + ";" + std::to_string(Blue(c));
      return;
  }
}

std::string Sgr(const Style& s, ColourDepth depth) {
  std::string out = "\x1b[0";
  if (s.bold) out += ";1";
  if (s.dim) out += ";2";
  if (s.underline) out += ";4";
  if (s.reverse) out += ";7";
  if (depth != ColourDepth::None) {
    AppendColour(out, s.fg, false, depth);
    AppendColour(out, s.bg, true, depth);
  }
  return out + "m";
}

// The line-drawing set as G1, shifted in with SO and out with SI: the Linux
// console in UTF-8 mode draws it only that way (a G0 switch with ESC ( 0
// counts there only without UTF-8), xterm and its kind take either.
constexpr char kLineDrawingOn[] = "\x1b)0\x0e";
constexpr char kLineDrawingOff[] = "\x0f";

void MoveTo(std::string& out, int x, int y) {
  out += "\x1b[" + std::to_string(y + 1) + ";" + std::to_string(x + 1) + "H";
}

}  // namespace

std::string Render(const Canvas* before, const Canvas& after, ColourDepth depth,
                   const Charset& charset) {
  std::string out;
  const bool full =
      before == nullptr || before->Width() != after.Width() || before->Height() != after.Height();
  // A whole frame also resets the character sets (G0 ASCII, shifted in), so
  // that one drawn after another program's output (Ctrl-L) shows letters as letters.
  if (full) out += "\x0f\x1b(B\x1b[0m\x1b[2J";
  bool haveStyle = false;
  bool lineDrawing = false;  // the terminal's G0 set is the DEC special graphics
  Style current;
  int cursorX = -1, cursorY = -1;  // where the terminal's cursor is, when known
  for (int y = 0; y < after.Height(); ++y) {
    for (int x = 0; x < after.Width(); ++x) {
      const Cell& cell = after.At(x, y);
      if (!full && before->At(x, y) == cell) continue;
      if (full && cell == Cell{}) continue;  // the cleared screen shows this already
      if (x != cursorX || y != cursorY) MoveTo(out, x, y);
      Style style = cell.style;
      Glyph glyph;
      if (!charset.utf8) {
        glyph = SingleByteGlyph(cell.ch, charset);
        if (cell.ch == U'▀' && style.fg != kDefaultColour) style.bg = style.fg;
        if (glyph.lineDrawing != lineDrawing) {
          out += glyph.lineDrawing ? kLineDrawingOn : kLineDrawingOff;
          lineDrawing = glyph.lineDrawing;
        }
      }
      if (!haveStyle || !(style == current)) {
        out += Sgr(style, depth);
        current = style;
        haveStyle = true;
      }
      if (charset.utf8)
        out += EncodeUtf8(cell.ch);
      else
        out += glyph.byte;
      cursorX = x + 1;
      cursorY = y;
      // The terminal keeps the cursor in the last column after writing there.
      if (cursorX >= after.Width()) cursorX = -1;
    }
  }
  if (lineDrawing) out += kLineDrawingOff;
  if (haveStyle) out += "\x1b[0m";
  if (after.CursorShown()) {
    MoveTo(out, after.CursorX(), after.CursorY());
    out += "\x1b[?25h";
  } else {
    out += "\x1b[?25l";
  }
  return out;
}

}  // namespace tui
