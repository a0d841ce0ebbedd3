#include "runtime/command_line.h"

#include "base/text.h"
#include "platform/process.h"
#include "runtime/errors.h"

namespace rt {

bool IntegratedMode = false;
bool SilentMode = false;

std::optional<std::string> ReadCommand(const std::string& commandLine, const std::string& option) {
  const Trap step("ReadCommand");
  const std::string upperLine = platform::UpperCase(commandLine);
  const std::string upperWord = platform::UpperCase(option);
  const size_t found = upperLine.find(upperWord);
  if (found == std::string::npos) return std::nullopt;

  // Character positions, as the runtime counts them (1-based p).
  const long p = static_cast<long>(platform::CharCount(upperLine.substr(0, found))) + 1;
  const long length = static_cast<long>(platform::CharCount(commandLine));
  const long n = length - p - static_cast<long>(platform::CharCount(option));
  std::string value;
  step([&] {
    if (n < 0) platform::Raise(platform::kInvalidProcedureCall);
    value = platform::MidChars(commandLine, static_cast<size_t>(length - n));
  });
  value = platform::UpperCase(platform::TrimBlanks(value));
  const size_t slash = value.find('/');
  if (slash != std::string::npos) {
    value = platform::TrimBlanks(platform::UpperCase(value.substr(0, slash)));
  }
  return value;
}

bool GetStartModeIntegrated() {
  const Trap step("GetStartModeIntegrated");
  std::string value;
  step([&] { value = ReadCommand(platform::CommandLineText(), "EXTERNAL").value_or(""); });
  const std::string upper = platform::UpperCase(value);
  bool result = upper == "KVXCFG";
  IntegratedMode = result;
  if (upper == "SILENT") {
    SilentMode = true;
    result = false;
    IntegratedMode = false;
  } else {
    SilentMode = false;
  }
  return result;
}

std::string GetPathLogfile() {
  const Trap step("GetPathLogfile");
  std::string value;
  step([&] { value = ReadCommand(platform::CommandLineText(), "LOGFILE").value_or(""); });
  return value;
}

std::string GetSourcePath() {
  const Trap step("GetSourcePath");
  std::string value;
  step([&] { value = ReadCommand(platform::CommandLineText(), "SOURCEPATH").value_or(""); });
  return value;
}

std::string GetOCXName() {
  // No trap: the error routine asks for this name itself. A name shorter than
  // the seven-character suffix has no component name.
  const std::string name = platform::ProgramFileName();
  const size_t length = platform::CharCount(name);
  if (length < 7) return {};
  return platform::LeftChars(name, length - 7);
}

}  // namespace rt
