#include "form/pictures.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>
#include <utility>

namespace {

using Point = std::pair<int, int>;  // x, y in pixels

ui::Picture Blank(std::string source, int width, int height) {
  ui::Picture p;
  p.source = std::move(source);
  p.width = width;
  p.height = height;
  p.rows.assign(height, std::string(width, '.'));
  return p;
}

// Paints a square pen of the given thickness at one point, clipped to the picture.
void Dab(ui::Picture& p, double x, double y, int thickness, char ink) {
  const int x0 = static_cast<int>(std::lround(x - (thickness - 1) / 2.0));
  const int y0 = static_cast<int>(std::lround(y - (thickness - 1) / 2.0));
  for (int yy = std::max(0, y0); yy < std::min(p.height, y0 + thickness); ++yy)
    for (int xx = std::max(0, x0); xx < std::min(p.width, x0 + thickness); ++xx)
      p.rows[yy][xx] = ink;
}

// Draws the polyline through the points with a pen of the given thickness.
void Stroke(ui::Picture& p, std::initializer_list<Point> points, int thickness, char ink) {
  const Point* prev = nullptr;
  for (const Point& pt : points) {
    if (prev == nullptr) {
      Dab(p, pt.first, pt.second, thickness, ink);
    } else {
      const int dx = pt.first - prev->first, dy = pt.second - prev->second;
      const int steps = std::max({std::abs(dx), std::abs(dy), 1}) * 2;
      for (int s = 1; s <= steps; ++s)
        Dab(p, prev->first + dx * s / static_cast<double>(steps),
            prev->second + dy * s / static_cast<double>(steps), thickness, ink);
    }
    prev = &pt;
  }
}

}  // namespace

ui::Picture TickPicture() {
  ui::Picture p = Blank("tick.gif", 44, 36);
  Stroke(p, {{5, 18}, {16, 30}, {39, 5}}, 4, 'G');
  return p;
}

ui::Picture CrossPicture() {
  ui::Picture p = Blank("cross.gif", 37, 39);
  Stroke(p, {{4, 4}, {32, 34}}, 4, 'R');
  Stroke(p, {{32, 4}, {4, 34}}, 4, 'R');
  return p;
}

ui::Picture HelpPicture() {
  ui::Picture p = Blank("help.gif", 41, 45);
  // The question mark, upper right: hook, stem and dot.
  Stroke(p, {{20, 9}, {23, 4}, {29, 2}, {35, 4}, {37, 9}, {35, 14}, {30, 17}, {29, 21}, {29, 23}},
         3, 'K');
  Stroke(p, {{29, 28}, {29, 29}}, 3, 'K');
  // The arrow, from the middle to the lower left corner, its head in that corner.
  Stroke(p, {{20, 25}, {4, 41}}, 3, 'K');
  Stroke(p, {{4, 31}, {4, 41}, {14, 41}}, 3, 'K');
  return p;
}

uint32_t InkRgb(char ink, bool enabled) {
  if (!enabled) return 0x808080;
  switch (ink) {
    case 'G':
      return 0x00AA00;
    case 'R':
      return 0xD20000;
    default:
      return 0x000000;
  }
}
