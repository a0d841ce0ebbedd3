// The command line and start mode of the step, and its own names.
#pragma once

#include <optional>
#include <string>

namespace rt {

// Process-wide start mode, set by every call of GetStartModeIntegrated.
extern bool IntegratedMode;
extern bool SilentMode;

// The value of an option word: the text after the word and one more character,
// trimmed, upper case, up to the next "/". Nothing when the word does not occur.
std::optional<std::string> ReadCommand(const std::string& commandLine, const std::string& option);

bool GetStartModeIntegrated();
std::string GetPathLogfile();
std::string GetSourcePath();

// The program file name less its last seven characters ("Start" for
// Start_Config); empty for a shorter name.
std::string GetOCXName();

}  // namespace rt
