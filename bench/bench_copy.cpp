// Copy speed of the routine the commit copies through (platform::CopyFile),
// against cp, on one 512 MiB file in a temporary folder mapped as drive C:.
// Each side runs a few times, alternating; the destination is removed after each
// copy so the disk holds at most the source and one copy. cp leaves its data in
// the page cache, while CopyFile makes its copy durable before the rename, so
// "cp + sync" (cp, then sync of that one file) is printed as well.
#include <stdlib.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/failure.h"
#include "platform/filesys.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kFileSize = 512ull << 20;
constexpr uint64_t kChunk = 1ull << 20;
constexpr int kRepetitions = 3;
// Source, one copy, and room to spare for the file system.
constexpr uint64_t kSpaceNeeded = 2 * kFileSize + (256ull << 20);

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Single quotes for the shell; the temporary folder's name holds no quote.
std::string Quoted(const fs::path& p) {
  return "'" + p.string() + "'";
}

bool WriteSource(const fs::path& file) {
  std::vector<char> chunk(kChunk);
  uint64_t state = 0x9E3779B97F4A7C15ull;
  std::ofstream out(file, std::ios::binary);
  for (uint64_t written = 0; written < kFileSize && out; written += kChunk) {
    for (char& c : chunk) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      c = static_cast<char>(state);
    }
    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
  }
  out.close();
  return out.good() && fs::file_size(file) == kFileSize;
}

int Run(const fs::path& folder) {
  struct statvfs space;
  if (statvfs(folder.c_str(), &space) != 0 ||
      static_cast<uint64_t>(space.f_bavail) * space.f_frsize < kSpaceNeeded) {
    std::printf("skipped: less than %llu MiB free in %s\n",
                static_cast<unsigned long long>(kSpaceNeeded >> 20), folder.c_str());
    return 0;
  }
  setenv("KORVEX_DRIVES", ("C=" + folder.string()).c_str(), 1);
  const fs::path source = folder / "source.bin";
  const fs::path target = folder / "target.bin";
  if (!WriteSource(source)) {
    std::printf("could not write the source file\n");
    return 1;
  }
  sync();

  std::vector<double> copyFile, cp, cpSync;
  for (int r = 0; r < kRepetitions; ++r) {
    // Alternate the order so that neither side always meets the warmer cache.
    for (int side = 0; side < 2; ++side) {
      const bool platformFirst = r % 2 == 0;
      fs::remove(target);
      sync();
      const auto start = std::chrono::steady_clock::now();
      if ((side == 0) == platformFirst) {
        platform::CopyFile("C:\\source.bin", "C:\\target.bin", true);
        copyFile.push_back(Seconds(start));
      } else {
        if (std::system(("cp " + Quoted(source) + " " + Quoted(target)).c_str()) != 0) {
          std::printf("cp failed\n");
          return 1;
        }
        cp.push_back(Seconds(start));
        if (std::system(("sync " + Quoted(target)).c_str()) != 0) {
          std::printf("sync failed\n");
          return 1;
        }
        cpSync.push_back(Seconds(start));
      }
      if (fs::file_size(target) != kFileSize) {
        std::printf("the copy has the wrong size\n");
        return 1;
      }
    }
  }
  fs::remove(target);

  for (int r = 0; r < kRepetitions; ++r)
    std::printf("run %d: CopyFile %.3f s   cp %.3f s   cp + sync %.3f s\n", r + 1, copyFile[r],
                cp[r], cpSync[r]);
  const double a = Median(copyFile), b = Median(cp), c = Median(cpSync);
  std::printf("median of %d, 512 MiB: CopyFile %.3f s, cp %.3f s, cp + sync %.3f s\n", kRepetitions,
              a, b, c);
  std::printf("ratio CopyFile / cp: %.2f   CopyFile / (cp + sync): %.2f\n", a / b, a / c);
  return 0;
}

}  // namespace

int main() {
  return RunInTemporaryFolder(Run);
}
