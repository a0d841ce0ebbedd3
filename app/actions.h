// The action language in which scripts and the terminal operate the window:
// one action a line, applied as a user's action would be.
//
//   click Control            a click (a check box toggles first)
//   select Control Text      picks the list entry Text
//   text Control Text        types Text as the box's whole new text
//   type Control Text        types Text at the caret, replacing the selection; the
//                            caret ends after it
//   caret Control Start [Length]   puts the caret (0-based) and selection
//   focus Control / leave Control  got focus / lost focus
//   drive d:                 picks a drive in the drive list
//   dir C:\Some\Folder       opens a folder in the folder list
//   answer Yes|No|OK         answers the next message box
//   file C:\Path\File.mdb | file cancel   answers the next file dialog
//   close                    the window's close box
//   dump                     prints every control
// Controls are named as in the window, array elements as Name(index).
#pragma once

#include <deque>
#include <iosfwd>
#include <optional>
#include <string>

#include "form/start_config_form.h"
#include "platform/msgbox.h"

namespace app {

struct Action {
  int line = 0;
  std::string verb;
  std::string control;  // name as written, with index
  std::string argument;
  std::string source;  // the line as written
};

// Parses one line. Blank lines and "#" comments give an action with an empty
// verb. A malformed line gives nothing and an error text.
std::optional<Action> ParseAction(const std::string& line, int number, std::string& error);

// Answers queued for message boxes and file dialogs.
struct Queues {
  std::deque<std::pair<platform::Answer, int>> answers;          // answer, script line
  std::deque<std::pair<std::optional<std::string>, int>> files;  // path or cancel, script line
};

// Checks that the action names a control of the window that fits the verb.
bool CheckAction(const frm_Start_Config_Exe& form, const Action& action, std::string& error);

// Applies an action to the window. Returns false with an error text when the
// action cannot be carried out (an unknown list entry, say).
bool ApplyAction(frm_Start_Config_Exe& form, const Action& action, Queues& queues,
                 std::ostream& out, std::string& error);

// A person's click or key as the action a script line would give: verb on the
// control (drive and dir name none) with the argument, applied at once. What
// it says goes to said, a failure's text to error; false when it failed.
bool ApplyUserAction(frm_Start_Config_Exe& form, const std::string& verb,
                     const ui::Control* control, const std::string& argument, std::string& said,
                     std::string& error);

// Prints every control of the window, one a line.
void Dump(const frm_Start_Config_Exe& form, std::ostream& out);

// Quotes a text for the transcript, with LF and CR made visible.
std::string Quoted(const std::string& text);

}  // namespace app
