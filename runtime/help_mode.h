// Help mode: while it is on, clicking a control shows its help text instead of
// doing what the control normally does.
#pragma once

#include "platform/toolkit.h"

namespace rt {

extern bool HelpMode;
extern bool SkipNextValueHelp;

// Toggles the help mode and colours the help button (green on, grey off).
void ToggleHelpMode(ui::Control& helpButton);
// Shows the control's help text in an "Info:" box when help mode is on.
void ShowHelp(const ui::Control& control);
// For the check box: in help mode undoes the click's change and shows the help.
void ShowValueHelp(ui::Control& checkBox);
// The help text with every "<CRLF>" (any letter case) turned into CR LF.
std::string ExpandLineBreaks(const std::string& text);

}  // namespace rt
