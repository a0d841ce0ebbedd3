// The scripted face: the window operated by a file of actions (KORVEX_SCRIPT,
// "-" for standard input), one a line, with a transcript on standard output.
#pragma once

#include <string>

namespace script {

// Runs the window under the script until the process ends; returns the exit
// status when the script cannot be read (nothing is read or written then).
int RunScript(const std::string& scriptName);

}  // namespace script
