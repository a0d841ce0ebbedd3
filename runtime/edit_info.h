// The edit-info stamp in the step's CFG file: which version wrote the
// configuration, in which start mode, and a scrambled editor code.
#pragma once

#include <string>

namespace rt {

// The editor code of an environment entry's value: every character but "-" and
// "_" as the upper-case hexadecimal of its ANSI code plus 5.
std::string EditorCode(const std::string& firstEnvironmentEntry);
void WriteEditInfo();

}  // namespace rt
