// What the benchmarks share: a temporary folder for the run, removed afterwards.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

// Runs run(folder) in a fresh folder below $TMPDIR (or /tmp) and removes the
// folder afterwards; a failure is reported and gives the status 1.
template <class Run>
int RunInTemporaryFolder(Run run) {
  namespace fs = std::filesystem;
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/korvex-bench-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) {
    std::perror("mkdtemp");
    return 1;
  }
  const fs::path folder = name.data();
  int status = 1;
  try {
    status = run(folder);
  } catch (const std::exception& e) {
    std::printf("measurement failed: %s\n", e.what());
  }
  std::error_code ec;
  fs::remove_all(folder, ec);
  return status;
}
