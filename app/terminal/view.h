// Drawing the window on a canvas: the caption line, every shown control as its
// kind looks, the open drop-down list, and the line of key hints and notes.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/common/presentation.h"
#include "app/terminal/canvas.h"
#include "app/terminal/layout.h"
#include "controls/toolkit.h"

namespace tui {

// What the front end shows beyond the controls' own state.
struct ViewState {
  ColourDepth depth = ColourDepth::Basic;
  // The keys that move the focus, as the hints name them: Tab alone on a
  // terminal without a back-tab key.
  std::string tabKeys = "Tab/Shift-Tab";
  ui::Control* dropDown = nullptr;  // the combo box or drive list whose list is open
  int dropHighlight = 0;
  int folderHighlight = -1;  // the folder list's highlighted entry; -1: its own folder
  std::map<const ui::Control*, int> firstShown;  // scroll position of lists
  std::string note;                              // shown in the hint line until the next key
  // The part of the terminal that shows the window (its hint line left out):
  // boxes are centred on it and fit into it.
  CellRect boxArea;
  int hintRow = -1;  // the terminal row of the hint line; -1 while none shows
  // The keys of the box or dialog that is open; they stand in the hint line
  // instead of the window's while it is open.
  std::string hints;
  // The folder list's entries, read again only when its folder changes (as the
  // toolkit's folder list does, it does not watch the disk).
  const ui::Control* foldersOf = nullptr;
  std::string foldersPath;
  std::vector<app::FolderEntry> folders;
};

// The folder list's entries through the view's cache.
const std::vector<app::FolderEntry>& ShownFolders(ViewState& view, const ui::Control& folderList);

// Where an open drop-down list shows, below (or above) its control.
CellRect DropDownCells(const ui::Control& c, int canvasHeight);
// The first entry a list shows so that `wanted` is visible in `rows` rows.
int ScrollTo(int first, int wanted, int rows, int count);

// Draws a list's entries into r, scrolled so that the lit entry shows: lit
// in the highlight (grey while the list has no focus), the entries marked bold
// in bold, the text indented by `indent` cells, a scroll mark where more
// entries lie. first is the list's scroll position and is kept up to date.
void DrawEntries(Canvas& canvas, CellRect r, const std::vector<std::string>& labels,
                 const std::vector<bool>& bold, int lit, int& first, bool focused, bool enabled,
                 int indent, const ViewState& view);

// How a control is named in the hint line: its caption, the sign of its
// picture ("OK", "Cancel"), or the label that stands before it.
std::string FocusName(const ui::Window& window, const ui::Control& c);

// The first character a text field `width` columns wide shows so that the
// caret (before character `caret`) is in view.
int FirstShownChar(const std::u32string& text, int caret, int width);

// Draws a caption as shown, its access key underlined; returns the cells written.
int PutCaption(Canvas& canvas, int x, int y, const std::string& caption, Style style,
               int maxWidth = 1 << 30);

// Draws a picture into the cells with upper-half blocks: two pixels a cell.
// pixel(x, y) gives the colour or kDefaultColour for a clear pixel; two that
// show as one colour at `depth` make a blank.
void DrawPixels(Canvas& canvas, CellRect r, int width, int height, uint32_t background,
                ColourDepth depth, const std::function<uint32_t(int x, int y)>& pixel);

// Draws the whole window at the canvas's top left corner; the cursor goes to
// the caret of the focused text box.
void DrawWindow(Canvas& canvas, const ui::Window& window, ViewState& view);

// One line of text broken at blanks into lines of at most `width` characters
// (a word longer than that is cut).
std::vector<std::string> WrapWords(const std::string& line, int width);

// Draws the line of key hints (or the note) on row `row`, `width` cells wide.
void DrawHintBar(Canvas& canvas, int row, int width, const ui::Window& window,
                 const ViewState& view);

// Draws the message shown while the terminal is smaller than the window needs
// (columns x rows), wrapped to the terminal's width.
void DrawTooSmall(Canvas& canvas, int columns, int rows);

// Styles shared with the dialogs.
Style Colours(uint32_t fg, uint32_t bg, bool bold = false);
Style WindowStyle();
Style CaptionStyle(const ViewState& view);
Style FieldStyle(const ViewState& view, bool enabled);
Style HighlightStyle(const ViewState& view);
Style ButtonStyle(const ViewState& view, bool focused, uint32_t face = RGB(192, 192, 192));

}  // namespace tui
