// One start per installation: a second start while one runs would interleave
// its read-modify-write cycles of the settings files with the first one's.
#pragma once

#include <functional>

#include "platform/msgbox.h"

namespace app {

// Claims the installation for this process and removes what killed runs left
// behind in the folders the step writes. False, with nothing written, when
// another process holds the installation.
bool ClaimInstallation();

// What a refused start tells the installer, in a box and on standard error.
platform::MessageBox SecondStartBox();

// Tells a refused start: the box through the front end (a request to end the
// process meanwhile only closes it), then, after beforeErrors has run (the
// terminal put back, say), the same words on standard error. Returns the
// status such a start ends with.
int RefuseSecondStart(const std::function<void()>& beforeErrors = nullptr);

}  // namespace app
