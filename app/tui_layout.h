// Where the window's controls stand on the terminal: positions in twips mapped
// onto character cells (120 twips a column, 240 a row), the window's frame
// around the client area, hit testing and the order of the Tab key.
#pragma once

#include <vector>

#include "platform/toolkit.h"

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

// Controls that show a single line of text get the row their middle falls on;
// the others cover the rows and columns nearest their edges.
bool IsSingleLine(const ui::Control& c);

// Maps a rectangle in twips (relative to the client area) onto cells relative
// to the client area.
CellRect TwipsToCells(const ui::Rect& twips, bool singleLine);

// The control's position in twips relative to the client area (its containers' added).
ui::Rect ClientPosition(const ui::Control& c);

// A frame draws a border unless it only holds other frames (a plain container).
bool HasBorder(const ui::Control& frame);

// The control's cells on the terminal (the caption line above the client area
// counted), kept inside its container: a control in a bordered frame stays off
// the border, which a control reaching into the frame's last column or row in
// twips would otherwise cover.
CellRect ControlCells(const ui::Control& c);

// The shown control under a cell that a click would reach: the innermost one,
// the later created one where two overlap. nullptr for none.
ui::Control* ControlAt(const ui::Window& window, int x, int y);

// The controls in the order of the Tab key: top to bottom through the window,
// the Save & Restore selection after the speed factors, the picture buttons last.
std::vector<ui::Control*> TabOrder(const ui::Window& window);

}  // namespace tui
