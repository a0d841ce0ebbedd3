// Shared by the fuzz targets: a scratch folder in memory, so that millions of
// runs that each write a file do not wear the disk, mapped as drive C:.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace fuzz {

[[noreturn]] inline void Fail(const char* what) {
  fprintf(stderr, "check failed: %s\n", what);
  abort();
}

inline void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

// Created on first use under /dev/shm (the temporary folder where there is no
// /dev/shm), mapped as drive C: through KORVEX_DRIVES and removed when the run
// ends normally.
inline const std::filesystem::path& ScratchDrive() {
  namespace fs = std::filesystem;
  static const fs::path dir = [] {
    std::error_code ec;
    const fs::path base = fs::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0
                              ? fs::path("/dev/shm")
                              : fs::temp_directory_path();
    std::string tmpl = (base / "korvex-fuzz-XXXXXX").string();
    Check(mkdtemp(tmpl.data()) != nullptr, "mkdtemp");
    setenv("KORVEX_DRIVES", ("C=" + tmpl).c_str(), 1);
    static std::string removeAtExit;
    removeAtExit = tmpl;
    atexit([] {
      std::error_code ignored;
      fs::remove_all(removeAtExit, ignored);
    });
    return fs::path(tmpl);
  }();
  return dir;
}

// Puts bytes into the scratch file name (host name, relative to the drive).
inline void WriteScratch(const std::string& name, std::string_view bytes) {
  std::ofstream out(ScratchDrive() / name, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  Check(static_cast<bool>(out), "scratch file written");
}

}  // namespace fuzz
