#include "app/terminal/layout.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "app/terminal/canvas.h"

namespace tui {
namespace {

int Nearest(int twips, int perCell) {
  return static_cast<int>(std::lround(static_cast<double>(twips) / perCell));
}

constexpr int kSingleLineButtonTwips = 480;  // taller buttons show a picture over rows

// The horizontal mapping: full columns up to fixedTwips, narrower ones beyond.
int fixedTwips = 0;
double narrowTwipsPerColumn = kTwipsPerColumn;

int Column(int twips) {
  const int fixed = std::min(twips, fixedTwips);
  return static_cast<int>(std::lround(static_cast<double>(fixed) / kTwipsPerColumn +
                                      (twips - fixed) / narrowTwipsPerColumn));
}

}  // namespace

WindowCells WindowLayout(const ui::Window& window) {
  const ui::Rect client = window.ClientArea();
  return {std::max(1, Column(client.width)), std::max(1, Nearest(client.height, kTwipsPerRow))};
}

void NarrowToFit(const ui::Window& window, int fixed, int columns) {
  const int width = window.ClientArea().width;
  const double room = columns - static_cast<double>(fixed) / kTwipsPerColumn;
  fixedTwips = std::clamp(fixed, 0, width);
  narrowTwipsPerColumn = kTwipsPerColumn;
  if (room > 0 && width > columns * kTwipsPerColumn)
    narrowTwipsPerColumn = std::max<double>(kTwipsPerColumn, (width - fixedTwips) / room);
}

Viewport FitViewport(const WindowCells& window, int columns, int rows) {
  Viewport v;
  const int contentRows = window.Height() - 1;  // the hint line has its own
  v.height = std::min(contentRows, std::max(0, rows - 1));
  v.vertical = contentRows > v.height;
  const int room = v.vertical ? columns - 1 : columns;
  v.width = std::min(window.width, std::max(0, room));
  v.horizontal = window.width > v.width;
  return v;
}

int FollowInView(int first, int start, int length, int point, int view, int total) {
  if (view <= 0 || total <= view) return 0;
  if (length <= view) {
    if (start < first) first = start;
    if (start + length > first + view) first = start + length - view;
  } else if (point < first || point >= first + view) {
    // As much of the span as the view holds, with the point in it.
    first = std::clamp(start, point - view + 1, point);
  }
  return std::clamp(first, 0, total - view);
}

CellRect KeepInView(CellRect r, const CellRect* label, int viewHeight) {
  if (label != nullptr) {
    const int left = std::min(r.x, label->x), top = std::min(r.y, label->y);
    const CellRect both{left, top, std::max(r.x + r.width, label->x + label->width) - left,
                        std::max(r.y + r.height, label->y + label->height) - top};
    if (both.height + 2 <= viewHeight) r = both;
  }
  const int left = std::max(0, r.x - 2), top = std::max(0, r.y - 1);
  return {left, top, r.x + r.width + 2 - left, r.y + r.height + 1 - top};
}

bool IsSingleLine(const ui::Control& c) {
  switch (c.kind()) {
    case ui::Kind::TextBox:
    case ui::Kind::ComboBox:
    case ui::Kind::DriveListBox:
    case ui::Kind::CheckBox:
    case ui::Kind::Label:
      return true;
    case ui::Kind::CommandButton:
      return c.Position().height <= kSingleLineButtonTwips;
    default:
      return false;
  }
}

CellRect TwipsToCells(const ui::Rect& t, bool singleLine) {
  CellRect r;
  r.x = Column(t.left);
  r.width = std::max(1, Column(t.left + t.width) - r.x);
  if (singleLine) {
    r.y = (t.top + t.height / 2) / kTwipsPerRow;
    r.height = 1;
  } else {
    r.y = Nearest(t.top, kTwipsPerRow);
    r.height = std::max(1, Nearest(t.top + t.height, kTwipsPerRow) - r.y);
  }
  return r;
}

bool HasBorder(const ui::Control& frame) {
  if (frame.kind() != ui::Kind::Frame) return false;
  for (const auto& other : frame.Parent().Controls())
    if (other->Container() == &frame && other->kind() == ui::Kind::Frame) return false;
  return true;
}

CellRect ControlCells(const ui::Control& c) {
  CellRect r = TwipsToCells(app::ClientPosition(c), IsSingleLine(c));
  r.y += WindowCells::kClientTop;
  // A label among the narrowed fields keeps the room its caption needs.
  if (c.kind() == ui::Kind::Label && narrowTwipsPerColumn > kTwipsPerColumn)
    r.width = std::max(r.width, Columns(app::CaptionShown(c.Caption()).text));
  const ui::Control* up = c.Container();
  if (up == nullptr) return r;
  CellRect inside = ControlCells(*up);
  if (HasBorder(*up)) inside = {inside.x + 1, inside.y + 1, inside.width - 2, inside.height - 2};
  if (inside.width <= 0 || inside.height <= 0) return r;
  // Each edge moves in by what it overhangs; a control keeps at least one cell.
  const int right = std::min(r.x + r.width, inside.x + inside.width);
  const int bottom = std::min(r.y + r.height, inside.y + inside.height);
  r.x = std::clamp(r.x, inside.x, inside.x + inside.width - 1);
  r.y = std::clamp(r.y, inside.y, inside.y + inside.height - 1);
  r.width = std::max(1, right - r.x);
  r.height = std::max(1, bottom - r.y);
  return r;
}

const ui::Control* LabelBefore(const ui::Window& window, const ui::Control& c) {
  const CellRect r = ControlCells(c);
  const ui::Control* beside = nullptr;
  const ui::Control* above = nullptr;
  int besideGap = 1 << 30, aboveGap = 1 << 30;
  for (const auto& owned : window.Controls()) {
    const ui::Control& l = *owned;
    const bool button = l.kind() == ui::Kind::CommandButton && c.kind() == ui::Kind::TextBox;
    if (&l == &c || l.Container() != c.Container() || (l.kind() != ui::Kind::Label && !button) ||
        !l.Shown() || l.Caption().empty())
      continue;
    const CellRect lr = ControlCells(l);
    if (lr.y >= r.y && lr.y < r.y + r.height && lr.x + lr.width <= r.x) {
      if (r.x - lr.x - lr.width < besideGap) {
        beside = &l;
        besideGap = r.x - lr.x - lr.width;
      }
    } else if (!button && lr.y + lr.height <= r.y) {
      const bool over = lr.x < r.x + r.width && lr.x + lr.width > r.x;
      const int gap = (r.y - lr.y - lr.height) + (over ? 0 : 1000);
      if (gap < aboveGap) {
        above = &l;
        aboveGap = gap;
      }
    }
  }
  return beside != nullptr ? beside : above;
}

ui::Control* ControlAt(const ui::Window& window, int x, int y) {
  ui::Control* found = nullptr;
  int foundDepth = -1;
  for (const auto& owned : window.Controls()) {
    ui::Control& c = *owned;
    if (c.kind() == ui::Kind::CommonDialog || !c.Shown()) continue;
    if (!ControlCells(c).Contains(x, y)) continue;
    int depth = 0;
    for (const ui::Control* up = c.Container(); up != nullptr; up = up->Container()) ++depth;
    if (depth >= foundDepth) {
      found = &c;
      foundDepth = depth;
    }
  }
  return found;
}

}  // namespace tui
