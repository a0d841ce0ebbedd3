// The modal boxes of the terminal front end: message boxes and the file-open
// dialog, drawn over the window.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/terminal/session.h"
#include "controls/toolkit.h"
#include "platform/msgbox.h"

namespace tui {

// Shows the box until the user answers. Enter takes the highlighted button,
// which starts as the box's default.
platform::Answer RunMessageBox(Session& session, const platform::MessageBox& box);

// Shows the open dialog; the chosen path, or nothing when cancelled.
std::optional<std::string> RunFileDialog(Session& session, const ui::FileDialogRequest& request);

// The lines of a message text: LF CR (and CR LF, LF, CR) break lines, and
// lines longer than width are wrapped at blanks.
std::vector<std::string> MessageLines(const std::string& text, int width);

}  // namespace tui
