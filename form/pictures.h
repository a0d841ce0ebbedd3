// The pictures of the window's three picture buttons, drawn in code so that the
// step needs no picture files beside it.
//
// Each picture is a ui::Picture whose rows hold one character per pixel:
//   '.'  transparent (the button face shows through)
//   'G'  green
//   'R'  red
//   'K'  black
#pragma once

#include <cstdint>

#include "controls/toolkit.h"

// OK: a green tick, 44 x 36 pixels ("tick.gif").
ui::Picture TickPicture();

// Cancel: a red diagonal cross, 37 x 39 pixels ("cross.gif").
ui::Picture CrossPicture();

// Help switch: a black question mark with an arrow pointing down and left, the
// usual context-help symbol, 41 x 45 pixels ("help.gif").
ui::Picture HelpPicture();

// The colour of an ink letter as 0xRRGGBB ('G' green, 'R' red, anything else
// black); grey throughout for the picture of a disabled button.
uint32_t InkRgb(char ink, bool enabled);
