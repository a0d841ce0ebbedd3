// Fuzz target for the option lookup: any command line, any option word. The
// lookup must never crash or hang, and its value never holds a "/".
#include <cstdint>
#include <string>

#include "platform/process.h"
#include "runtime/command_line.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ScratchDrive();
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
