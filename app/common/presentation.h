// What every face shows of the window model beyond the controls' own
// properties, in the model's own units: captions as the toolkit shows them,
// access keys, the entries of lists and folder lists, moving through a list,
// the system colours and why a control ignores a click.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "app/common/actions.h"
#include "controls/toolkit.h"
#include "form/start_config_form.h"

namespace app {

// A caption as the toolkit shows it: "&&" is one "&", a single "&" is dropped
// and marks the next character as the access key (the first such mark counts).
struct ShownCaption {
  std::string text;
  int keyAt = -1;   // the access key's character in text; -1: none
  std::string key;  // that character in upper case
};
ShownCaption CaptionShown(const std::string& caption);

// The control's position in twips relative to the client area (its containers' added).
ui::Rect ClientPosition(const ui::Control& c);

// What Alt and a letter reach: the shown control whose caption marks that
// letter as its access key. A usable button or check box is clicked; a label or
// frame hands the focus on to the next usable control in the Tab order that it
// stands before (or holds). matched is set when a caption has the key, even
// when nothing can take it.
struct AccessTarget {
  ui::Control* control = nullptr;
  bool click = false;
  bool matched = false;
};
AccessTarget AccessKeyTarget(const ui::Window& window, const std::string& letter);

// Where Tab (direction 1) or Shift+Tab (-1) leads from `from`: the next
// usable control in the window's Tab order, round its end; from its start (or
// end) where `from` is not in it. The unusable controls passed over on the way
// go to passed. nullptr where none is usable.
ui::Control* NextInTabOrder(const ui::Window& window, const ui::Control* from, int direction,
                            const std::function<void(const ui::Control&)>& passed = nullptr);

// The entries of a list-like control: a combo box's or list box's list, the
// drive list's drives; and the selected one (-1: none).
std::vector<std::string> ListEntries(const ui::Control& c);
int SelectedEntry(const ui::Control& c);

// An entry of a folder list as it shows: the folders from the drive's root down
// to the current one (open), then the current folder's subfolders.
struct FolderEntry {
  std::string label;
  std::string path;  // full Windows path
  int depth = 0;
  bool open = false;
};
std::vector<FolderEntry> FolderEntries(const ui::Control& folderList);
// The index of the current folder among its entries.
int CurrentFolderEntry(const std::vector<FolderEntry>& entries);

// The keys that move through a list, in every face alike.
enum class ListMove { None, Up, Down, PageUp, PageDown, Home, End };
// The entry a move reaches from `from` among `count` entries, `page` a page;
// -1 for an empty list.
int MoveInList(ListMove move, int from, int count, int page);

// The colour a toolkit colour shows as (0xRRGGBB): the system colours as the
// classic scheme has them, others as they are.
uint32_t SystemColour(ui::Colour c);

// Why a click on a control that cannot be used did nothing. OK is the one a
// new installer reaches for first; it says what it waits for.
std::string WhyIgnored(const frm_Start_Config_Exe& form, const ui::Control& c);

// What came of the Save & Restore copy connected last: none connected, refused
// (other machines), taken over without its project file (OK stays off), or
// taken over.
enum class CopyState { None, Refused, WithoutProject, Accepted };
CopyState ConnectedCopy(const frm_Start_Config_Exe& form);
// The same in a line of 80 columns for a face to show after a copy was
// opened ("" for none).
std::string CopyNote(const frm_Start_Config_Exe& form);

// What a face shows for an action that was not applied: a failure's reason,
// or why the control ignored it.
std::string ShownReason(const frm_Start_Config_Exe& form, const ui::Control* c,
                        const Outcome& outcome);

// Text for a message on a terminal or in a log: control characters (C0, DEL,
// the C1 range) and bytes that are no UTF-8 are shown as escapes, so that a bad
// input cannot send the terminal escape sequences.
std::string EscapeControls(const std::string& text);

}  // namespace app
