// Shared helpers of the in-process tests: files and folders, a temporary
// installation tree with drives mapped into it, a message-box recorder, the
// reset of the step's process-wide state and a fixture holding the step's window.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/failure.h"
#include "form/start_config_form.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "runtime/command_line.h"
#include "runtime/config_paths.h"
#include "runtime/help_mode.h"
#include "runtime/language.h"

namespace testsupport {

// ---------------------------------------------------------------------------
// Files and texts.

// The whole content of a host file; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Writes bytes to a host file, creating its folders.
inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

// How often part occurs in text (overlapping occurrences included).
inline size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// A bitmap file of the given size, 24 bits a pixel with a plain info header,
// every pixel byte 0x7F.
inline std::string Bitmap(int width = 1, int height = 1) {
  std::string b = "BM";
  auto le = [&b](uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) b += static_cast<char>((v >> (8 * k)) & 0xFF);
  };
  const uint32_t stride = (width * 24 + 31) / 32 * 4;
  const uint32_t data = stride * height;
  le(54 + data, 4), le(0, 4), le(54, 4), le(40, 4), le(width, 4), le(height, 4), le(1, 2);
  le(24, 2), le(0, 4), le(data, 4), le(2835, 4), le(2835, 4), le(0, 4), le(0, 4);
  return b + std::string(data, '\x7f');
}

// The name of a machine's k-th warning picture (1 to 16) at resolution 1024.
inline std::string WarnName(int k, const std::string& machine) {
  return (k < 10 ? "Warn_0" : "Warn_") + std::to_string(k) + "_" + machine + "_1024.bmp";
}

// The failure number a call raises, or 0 when it raises none.
inline int FailureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const platform::Failure& f) {
    return f.number;
  }
  return 0;
}

// The program version as the CFG stamp writes it ("1.0.5").
inline std::string ProgramVersionText() {
  const platform::Version v = platform::ProgramVersion();
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.revision);
}

// ---------------------------------------------------------------------------
// Process environment.

// Sets (or, given nullptr, removes) an environment variable for the lifetime of
// the object and then puts the former value back.
class ScopedEnv {
 public:
  explicit ScopedEnv(std::string name) : name_(std::move(name)) {
    if (const char* old = getenv(name_.c_str())) old_ = old;
  }
  ScopedEnv(std::string name, const char* value) : ScopedEnv(std::move(name)) { Set(value); }
  ~ScopedEnv() { Set(old_ ? old_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

  void Set(const char* value) const {
    if (value)
      setenv(name_.c_str(), value, 1);
    else
      unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// The locale variables LC_ALL, LC_NUMERIC and LANG set (nullptr: removed) for
// the lifetime of the object.
class LocaleEnv {
 public:
  explicit LocaleEnv(const char* lcAll, const char* lcNumeric = nullptr, const char* lang = nullptr)
      : lcAll_("LC_ALL", lcAll), lcNumeric_("LC_NUMERIC", lcNumeric), lang_("LANG", lang) {}

 private:
  ScopedEnv lcAll_, lcNumeric_, lang_;
};

// Puts the working directory back when it goes, so that no test leaves the
// process inside a folder that is removed.
class WorkingDirectory {
 public:
  WorkingDirectory() : old_(std::filesystem::current_path()) {}
  ~WorkingDirectory() { Restore(); }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  // Goes back to the former working directory now.
  void Restore() const {
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
  }

 private:
  std::filesystem::path old_;
};

// ---------------------------------------------------------------------------
// A temporary installation tree.

// A fresh folder that is drive C: (and optionally more drives as subfolders
// "drive-X") for the lifetime of the object. It is removed with everything in
// it, read-only parts included.
class TempTree {
 public:
  explicit TempTree(const std::string& extraDrives = "") {
    const std::string pattern = testing::TempDir() + "korvex-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr)
      throw std::runtime_error("no temporary folder like " + pattern);
    root_ = std::filesystem::path(buf.data()).lexically_normal();
    std::string drives = "C=" + root_.string();
    for (char letter : extraDrives) {
      std::filesystem::create_directories(Drive(letter));
      drives += ";" + std::string(1, letter) + "=" + Drive(letter).string();
    }
    drives_.Set(drives.c_str());
  }
  ~TempTree() {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
    // Folders get their bits back before the iterator enters them.
    for (auto it = fs::recursive_directory_iterator(root_, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
      if (!it->is_symlink(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(root_, ec);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path Host(const std::string& relative) const { return root_ / relative; }
  std::filesystem::path Drive(char letter) const {
    return root_ / ("drive-" + std::string(1, letter));
  }

  // Writes bytes to a file below the root, creating its folders.
  void Write(const std::string& relative, const std::string& bytes) const {
    WriteFile(root_ / relative, bytes);
  }
  std::string Read(const std::string& relative) const { return ReadFile(root_ / relative); }
  bool Exists(const std::string& relative) const {
    return std::filesystem::exists(root_ / relative);
  }
  void MakeFolder(const std::string& relative) const {
    std::filesystem::create_directories(root_ / relative);
  }
  // The names in a folder below the root, hidden ones included, sorted.
  std::vector<std::string> Entries(const std::string& relative) const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(root_ / relative))
      names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  ScopedEnv drives_{"KORVEX_DRIVES"};
  std::filesystem::path root_;
};

// ---------------------------------------------------------------------------
// Message boxes.

// Records every message box and answers from a queue (default button when the
// queue is empty). Restores the previous handler when it goes.
class BoxRecorder {
 public:
  BoxRecorder() {
    old_ = platform::SetMessageBoxHandler([this](const platform::MessageBox& box) {
      boxes.push_back(box);
      if (answers.empty()) return platform::DefaultAnswer(box);
      platform::Answer a = answers.front();
      answers.pop_front();
      return a;
    });
  }
  ~BoxRecorder() { platform::SetMessageBoxHandler(std::move(old_)); }
  BoxRecorder(const BoxRecorder&) = delete;
  BoxRecorder& operator=(const BoxRecorder&) = delete;

  // The texts of the boxes shown so far, in order.
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& box : boxes) texts.push_back(box.text);
    return texts;
  }

  std::vector<platform::MessageBox> boxes;
  std::deque<platform::Answer> answers;

 private:
  platform::MessageBoxHandler old_;
};

// ---------------------------------------------------------------------------
// The step's process.

// The step started from the folder with the command line, as program
// Start_Config.
inline void SetProcess(const std::string& commandLine,
                       const std::string& folder = "C:\\Korvex\\Start") {
  platform::SetProcessForTesting(commandLine, folder, "Start_Config");
}

// The same, and the start mode read from it as the step's start-up reads it.
inline void StartAs(const std::string& commandLine,
                    const std::string& folder = "C:\\Korvex\\Start") {
  SetProcess(commandLine, folder);
  rt::GetStartModeIntegrated();
}

// Puts the step's process-wide state (start and help modes, help texts, machine
// list, remembered folders) back to that of a fresh process when it is made and
// again when it goes, so that no test sees what another left.
class RuntimeState {
 public:
  RuntimeState() { Reset(); }
  ~RuntimeState() { Reset(); }
  RuntimeState(const RuntimeState&) = delete;
  RuntimeState& operator=(const RuntimeState&) = delete;

  static void Reset() {
    rt::IntegratedMode = false;
    rt::SilentMode = false;
    rt::HelpMode = false;
    rt::SkipNextValueHelp = false;
    rt::HelpTexts.fill("");
    rt::ExistingMachines.clear();
    SarFolder.clear();
    LastDatabaseFolder.clear();
  }
};

// The step's window in-process: a fresh drive C: with the program folder
// C:\Korvex\Start it was started from, every message box recorded, and the
// process-wide state reset before and after.
class FormTest : public ::testing::Test {
 protected:
  explicit FormTest(const std::string& commandLine = "/EXTERNAL=KVXCFG") {
    SetProcess(commandLine);
    tree_.MakeFolder("Korvex/Start");
    form_ = std::make_unique<frm_Start_Config_Exe>();
  }

  RuntimeState state_;
  TempTree tree_;
  BoxRecorder boxes_;
  std::unique_ptr<frm_Start_Config_Exe> form_;
};

}  // namespace testsupport
