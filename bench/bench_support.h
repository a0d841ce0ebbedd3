// What the benchmarks share: a temporary folder for the run, removed afterwards.
#pragma once

#include <chrono>
#include <cmath>
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

// Milliseconds from one moment to another.
inline double Milliseconds(std::chrono::steady_clock::time_point from,
                           std::chrono::steady_clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

// The value at the share (0.99: the 99th percentile) of sorted values, by
// nearest rank.
inline double Percentile(const std::vector<double>& sorted, double share) {
  const size_t rank = static_cast<size_t>(std::ceil(share * static_cast<double>(sorted.size())));
  return sorted[rank > 0 ? rank - 1 : 0];
}

// "met", or by how much a figure misses its upper goal.
inline std::string Verdict(double value, double goal) {
  if (value <= goal) return "met";
  char text[48];
  std::snprintf(text, sizeof text, "missed by %.0f%%", 100.0 * (value / goal - 1));
  return text;
}
