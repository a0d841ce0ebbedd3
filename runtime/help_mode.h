// Help mode: while it is on, clicking a control shows its help text instead of
// doing what the control normally does.
#pragma once

#include "controls/toolkit.h"

namespace rt {

extern bool HelpMode;
extern bool SkipNextValueHelp;

// Property changes made by the step's own code raise the controls' handlers as
// a user's clicks do. While one of these scopes is open (they nest) those
// handlers do their normal work, so that a takeover in help mode is not
// diverted into help boxes; only the user's own clicks and focus changes are.
class ChangesFromCode {
 public:
  ChangesFromCode();
  ~ChangesFromCode();
  ChangesFromCode(const ChangesFromCode&) = delete;
  ChangesFromCode& operator=(const ChangesFromCode&) = delete;
};

// True when a handler is to show help instead of doing its work: help mode is
// on and no change from code is under way.
bool DivertsToHelp();

// Toggles the help mode and colours the help button (green on, grey off).
void ToggleHelpMode(ui::Control& helpButton);
// Shows the control's help text in an "Info:" box when DivertsToHelp().
void ShowHelp(const ui::Control& control);
// For the check box: when DivertsToHelp(), undoes the click's change and shows
// the help.
void ShowValueHelp(ui::Control& checkBox);
// The help text with every "<CRLF>" (any letter case) turned into CR LF.
std::string ExpandLineBreaks(const std::string& text);

}  // namespace rt
