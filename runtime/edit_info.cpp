#include "runtime/edit_info.h"

#include <cstdio>

#include "base/text.h"
#include "platform/process.h"
#include "runtime/command_line.h"
#include "runtime/config_paths.h"
#include "runtime/errors.h"
#include "runtime/ini_access.h"

namespace rt {

std::string EditorCode(const std::string& firstEnvironmentEntry) {
  const size_t equals = firstEnvironmentEntry.find('=');
  const std::string value = equals == std::string::npos ? firstEnvironmentEntry
                                                        : firstEnvironmentEntry.substr(equals + 1);
  // One Windows-1252 byte per character; a character outside the code page is "?".
  const std::string ansi = platform::ToAnsi(value);
  std::string code;
  for (const char c : ansi) {
    if (c == '-' || c == '_') continue;
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(static_cast<unsigned char>(c)) + 5);
    code += hex;
  }
  return code;
}

void WriteEditInfo() {
  const Trap step("WriteEditInfo");
  std::string version;
  step([&] {
    const platform::Version v = platform::ProgramVersion();
    version =
        std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.revision);
  });
  step([&] {
    SaveIniChecked(version + (IntegratedMode ? " - Integrated" : " - Standalone"), "Info", "S_Prog",
                   GetCFGPath());
  });
  std::string code;
  step([&] { code = EditorCode(platform::FirstEnvironmentEntry()); });
  step([&] { SaveIniChecked(code, "Info", "S_Editor", GetCFGPath()); });
}

}  // namespace rt
