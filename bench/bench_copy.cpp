// Copy speed of the routine the commit copies through (platform::CopyFile),
// against cp, on one 512 MiB file in a temporary folder mapped as drive C:.
// CopyFile writes a temporary file in the destination's folder and renames it
// over the destination; neither it nor cp syncs, so both leave their data in the
// page cache and the figures compare the copying itself. One untimed copy of
// each warms up; then kPairs pairs follow, the order alternating within the
// pair, each copy into a fresh destination after the previous copy has been
// written back (sync, untimed). The disk holds at most the source and one copy.
//
// Then a sparse 10 GiB database (1 MiB of data at each GiB, holes between) is
// copied by each side once more: the time, and the blocks the copy takes on the
// disk, which must be those of the data, not 10 GiB.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
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

#include "base/failure.h"
#include "bench/bench_support.h"
#include "platform/filesys.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kFileSize = 512ull << 20;
constexpr uint64_t kChunk = 1ull << 20;
constexpr int kPairs = 7;
// Source, one copy, and room to spare for the file system.
constexpr uint64_t kSpaceNeeded = 2 * kFileSize + (256ull << 20);

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

struct Spread {
  double median, q1, q3, min, max;
};

// Quartiles by linear interpolation between the sorted values.
Spread SpreadOf(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const auto at = [&v](double q) {
    const double pos = q * static_cast<double>(v.size() - 1);
    const size_t low = static_cast<size_t>(pos);
    const size_t high = std::min(low + 1, v.size() - 1);
    return v[low] + (pos - static_cast<double>(low)) * (v[high] - v[low]);
  };
  return {at(0.5), at(0.25), at(0.75), v.front(), v.back()};
}

// Single quotes for the shell; the temporary folder's name holds no quote.
std::string Quoted(const fs::path& p) {
  // Appended piece by piece: "'" + string trips a false -Wrestrict of GCC 12 at -O3.
  std::string quoted = "'";
  quoted += p.string();
  quoted += "'";
  return quoted;
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

// The sparse source: 1 MiB of data at the start of each GiB, 10 GiB long.
constexpr uint64_t kSparseSize = 10ull << 30;
bool WriteSparseSource(const fs::path& file) {
  const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::vector<char> chunk(kChunk, 'd');
  bool ok = true;
  for (uint64_t at = 0; at < kSparseSize && ok; at += 1ull << 30)
    ok = pwrite(fd, chunk.data(), chunk.size(), static_cast<off_t>(at)) ==
         static_cast<ssize_t>(chunk.size());
  ok = ok && ftruncate(fd, static_cast<off_t>(kSparseSize)) == 0;
  return close(fd) == 0 && ok;
}

uint64_t AllocatedBytes(const fs::path& file) {
  struct stat st;
  return stat(file.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_blocks) * 512 : 0;
}

int RunSparse(const fs::path& folder) {
  const fs::path source = folder / "sparse.mdb";
  const fs::path target = folder / "sparse_copy.mdb";
  if (!WriteSparseSource(source)) {
    std::printf("sparse: could not write the source file\n");
    return 1;
  }
  for (const bool platformSide : {true, false}) {
    fs::remove(target);
    sync();
    const auto start = std::chrono::steady_clock::now();
    if (platformSide)
      platform::CopyFile("C:\\sparse.mdb", "C:\\sparse_copy.mdb", true);
    else if (std::system(("cp " + Quoted(source) + " " + Quoted(target)).c_str()) != 0)
      return 1;
    const double seconds = Seconds(start);
    std::printf("%-8s sparse 10 GiB (10 MiB of data): %.3f s, %llu MiB on disk, size %s\n",
                platformSide ? "CopyFile" : "cp", seconds,
                static_cast<unsigned long long>(AllocatedBytes(target) >> 20),
                fs::file_size(target) == kSparseSize ? "right" : "WRONG");
  }
  fs::remove(target);
  fs::remove(source);
  return 0;
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

  // One copy into a fresh destination; its time in seconds, or -1 when it failed.
  const auto copy = [&](bool platformSide) {
    fs::remove(target);
    sync();
    const auto start = std::chrono::steady_clock::now();
    if (platformSide) {
      platform::CopyFile("C:\\source.bin", "C:\\target.bin", true);
    } else if (std::system(("cp " + Quoted(source) + " " + Quoted(target)).c_str()) != 0) {
      std::printf("cp failed\n");
      return -1.0;
    }
    const double seconds = Seconds(start);
    if (fs::file_size(target) != kFileSize) {
      std::printf("the copy has the wrong size\n");
      return -1.0;
    }
    return seconds;
  };

  if (copy(true) < 0 || copy(false) < 0) return 1;  // warm-up
  std::vector<double> copyFile, cp;
  for (int r = 0; r < kPairs; ++r) {
    // Alternate the order so that neither side always meets the warmer cache.
    for (const bool platformSide : {r % 2 == 0, r % 2 != 0}) {
      const double seconds = copy(platformSide);
      if (seconds < 0) return 1;
      (platformSide ? copyFile : cp).push_back(seconds);
    }
  }
  fs::remove(target);

  for (int r = 0; r < kPairs; ++r)
    std::printf("pair %d (%s first): CopyFile %.3f s   cp %.3f s\n", r + 1,
                r % 2 == 0 ? "CopyFile" : "cp", copyFile[r], cp[r]);
  const Spread a = SpreadOf(copyFile), b = SpreadOf(cp);
  for (const auto& [name, s] : {std::pair{"CopyFile", a}, std::pair{"cp", b}})
    std::printf("%-8s 512 MiB, %d runs: median %.3f s, IQR %.3f..%.3f s, min %.3f s, max %.3f s\n",
                name, kPairs, s.median, s.q1, s.q3, s.min, s.max);
  std::printf("ratio of the medians CopyFile / cp: %.2f (MiB/s: CopyFile %.0f, cp %.0f)\n",
              a.median / b.median, 512 / a.median, 512 / b.median);
  fs::remove(source);
  return RunSparse(folder);
}

}  // namespace

int main() {
  return RunInTemporaryFolder(Run);
}
