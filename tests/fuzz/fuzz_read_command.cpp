// Fuzz target for the option lookup: any command line, any option word. The
// lookup must never crash or hang, and its value never holds a "/".
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/process.h"
#include "runtime/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool once = [] {
    char pattern[] = "/tmp/korvex-fuzz-XXXXXX";
    const char* root = mkdtemp(pattern);
    setenv("KORVEX_DRIVES", (std::string("C=") + root).c_str(), 1);
    return true;
  }();
  (void)once;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\0');
  const std::string line = input.substr(0, split);
  const std::string word = split == std::string::npos ? "EXTERNAL" : input.substr(split + 1);
  platform::SetProcessForTesting(line, "C:\\Korvex\\Start", "Start_Config");
  const auto value = rt::ReadCommand(line, word);
  if (value && value->find('/') != std::string::npos) __builtin_trap();
  rt::GetStartModeIntegrated();
  rt::GetPathLogfile();
  rt::GetSourcePath();
  return 0;
}
