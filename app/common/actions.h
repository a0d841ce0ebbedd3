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

// The verbs, as scripts write them (VerbWord); None for a blank or comment line.
enum class Verb {
  None,
  Click,
  Select,
  Text,
  Type,
  Caret,
  Focus,
  Leave,
  Drive,
  Dir,
  Answer,
  File,
  Close,
  Dump
};
const char* VerbWord(Verb verb);

struct Action {
  int line = 0;
  Verb verb = Verb::None;
  std::string control;  // name as written, with index
  std::string argument;
  std::string source;  // the line as written
};

// Parses one line. Blank lines and "#" comments give an action with the verb
// None. A malformed line gives nothing and an error text.
std::optional<Action> ParseAction(const std::string& line, int number, std::string& error);

// Answers queued for message boxes and file dialogs.
struct Queues {
  std::deque<std::pair<platform::Answer, int>> answers;          // answer, script line
  std::deque<std::pair<std::optional<std::string>, int>> files;  // path or cancel, script line
};

// Checks that the action names a control of the window that fits the verb.
bool CheckAction(const frm_Start_Config_Exe& form, const Action& action, std::string& error);

// What became of an action: carried out; ignored, because its control cannot
// be used now; or failed (an unknown list entry, say). reason says why for the
// latter two, in words every face shows as they are.
struct Outcome {
  enum class Kind { Applied, Ignored, Failed } kind = Kind::Applied;
  std::string reason;
  bool Applied() const { return kind == Kind::Applied; }
  bool Failed() const { return kind == Kind::Failed; }
};

// Applies an action to the window; what it prints (a dump, say) goes to out.
Outcome ApplyAction(frm_Start_Config_Exe& form, const Action& action, Queues& queues,
                    std::ostream& out);

// A person's click or key as the action a script line would give: verb on the
// control (drive and dir name none) with the argument, applied at once.
Outcome ApplyUserAction(frm_Start_Config_Exe& form, Verb verb, const ui::Control* control,
                        const std::string& argument = "");

// Prints every control of the window, one a line.
void Dump(const frm_Start_Config_Exe& form, std::ostream& out);

// Quotes a text for the transcript, with LF and CR made visible.
std::string Quoted(const std::string& text);

}  // namespace app
