// Where the window's controls stand on the terminal: positions in twips mapped
// onto character cells (120 twips a column, 240 a row), the window's frame
// around the client area, hit testing and the order of the Tab key.
#pragma once

#include <vector>

#include "app/common/presentation.h"
#include "controls/toolkit.h"

namespace tui {

constexpr int kTwipsPerColumn = 120;
constexpr int kTwipsPerRow = 240;

struct CellRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool Contains(int cx, int cy) const {
    return cx >= x && cy >= y && cx < x + width && cy < y + height;
  }
  bool operator==(const CellRect&) const = default;
};

// The window on the terminal: the caption line, the client area below it and
// one line for key hints and notes under that.
struct WindowCells {
  int width = 0;       // columns of the client area
  int clientRows = 0;  // rows of the client area
  int Height() const { return clientRows + 2; }
  static constexpr int kClientTop = 1;  // the caption line is row 0
};
WindowCells WindowLayout(const ui::Window& window);

// Where the terminal is narrower than the window, the columns from
// `fixedTwips` on (the fields' column: the labels left of it keep their
// width) are drawn narrower, so that the window's whole width fits into
// `columns` and the view never has to move sideways. Holds for every mapping
// below until it is set again.
void NarrowToFit(const ui::Window& window, int fixedTwips, int columns);

// The smallest terminal the window works on; a smaller one shows a notice.
constexpr int kMinColumns = 80;
constexpr int kMinRows = 24;

// How a window larger than the terminal shows: its caption line and client
// area through a view at the terminal's top left, its hint line on the
// terminal's last line. A column at the right is kept for the vertical scroll
// marks; the horizontal ones go to the ends of the hint line.
struct Viewport {
  int width = 0;            // columns of the window shown
  int height = 0;           // rows of the window shown (the hint line not counted)
  bool vertical = false;    // the window's rows do not all fit
  bool horizontal = false;  // nor its columns
  bool Scrolls() const { return vertical || horizontal; }
};
Viewport FitViewport(const WindowCells& window, int columns, int rows);

// The first cell shown on one axis so that [start, start + length) is in view,
// moved as little as possible from `first`; when the span is longer than the
// view, `point` (a caret, a highlighted entry) is what must show.
int FollowInView(int first, int start, int length, int point, int view, int total);

// What the view keeps in view for a control at `control`: it with its label
// where both fit into a view viewHeight rows high (so that a box of digits is
// never shown without the machine it belongs to; a span wider than the view
// shows the part at the focus), else the control alone; with a margin of two
// columns beside it and a row above and below.
CellRect KeepInView(CellRect control, const CellRect* label, int viewHeight);

// Controls that show a single line of text get the row their middle falls on;
// the others cover the rows and columns nearest their edges.
bool IsSingleLine(const ui::Control& c);

// Maps a rectangle in twips (relative to the client area) onto cells relative
// to the client area.
CellRect TwipsToCells(const ui::Rect& twips, bool singleLine);

// A frame draws a border unless it only holds other frames (a plain container).
bool HasBorder(const ui::Control& frame);

// The control's cells on the terminal (the caption line above the client area
// counted), kept inside its container: a control in a bordered frame stays off
// the border, which a control reaching into the frame's last column or row in
// twips would otherwise cover.
CellRect ControlCells(const ui::Control& c);

// What names a control on the screen: the label that stands before it on its
// row (for a text box also a button with a caption), else the nearest label
// above it in its container, one that stands over it first. nullptr for none.
const ui::Control* LabelBefore(const ui::Window& window, const ui::Control& c);

// The shown control under a cell that a click would reach: the innermost one,
// the later created one where two overlap. nullptr for none.
ui::Control* ControlAt(const ui::Window& window, int x, int y);

}  // namespace tui
