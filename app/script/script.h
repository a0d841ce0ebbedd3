// The scripted face: the window operated by a file of actions (KORVEX_SCRIPT,
// "-" for standard input), one a line, with a transcript on standard output.
#pragma once

#include <string>

namespace script {

// Runs the window under the script until the process ends. A script that
// cannot be read ends it at once with one line and status 1, before anything
// is read or written.
[[noreturn]] void RunScript(const std::string& scriptName);

}  // namespace script
