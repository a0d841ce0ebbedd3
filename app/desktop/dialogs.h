// The modal boxes of the desktop window: message boxes and the open dialog of
// the database buttons. The open dialog shows the step's Windows paths and
// mapped drives, never the host's folders.
#pragma once

#include <QWidget>
#include <optional>
#include <string>

#include "controls/toolkit.h"
#include "platform/msgbox.h"

namespace win {

// The text of a box with its line breaks (LF CR, CR LF, LF or CR) as lines.
QString BoxText(const std::string& text);

// Shows the box modally over the parent until it is answered. Enter takes the
// default button; a Yes/No box has no close button and ignores Esc, as the
// system's boxes do.
platform::Answer RunMessageBox(QWidget* parent, const platform::MessageBox& box);

// Shows the open dialog modally; the chosen file's path, or nothing when it is
// cancelled.
std::optional<std::string> RunFileDialog(QWidget* parent, const ui::FileDialogRequest& request);

// Closes the modal box or dialog that is open, as a cancel, so that a request
// to end the process reaches the step (which then raises it).
void CloseOpenBoxes();

}  // namespace win
