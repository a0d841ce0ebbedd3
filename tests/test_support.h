// Shared helpers of the tests: a temporary installation tree with drives mapped
// into it, and a message-box recorder.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/msgbox.h"
#include "platform/process.h"

namespace testsupport {

// A fresh folder that is drive C: (and optionally more drives as subfolders)
// for the lifetime of the object.
class TempTree {
 public:
  explicit TempTree(const std::string& extraDrives = "") {
    std::string pattern = testing::TempDir() + "korvex-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    root_ = mkdtemp(buf.data());
    const char* old = getenv("KORVEX_DRIVES");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    std::string drives = "C=" + root_.string();
    for (char letter : extraDrives) {
      std::filesystem::create_directories(root_ / ("drive-" + std::string(1, letter)));
      drives += ";" + std::string(1, letter) + "=" + (root_ / ("drive-" + std::string(1, letter))).string();
    }
    setenv("KORVEX_DRIVES", drives.c_str(), 1);
  }
  ~TempTree() {
    if (hadOld_)
      setenv("KORVEX_DRIVES", old_.c_str(), 1);
    else
      unsetenv("KORVEX_DRIVES");
    std::error_code ec;
    std::filesystem::permissions(root_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(root_, ec);
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
    std::filesystem::path p = root_ / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& relative) const {
    std::ifstream in(root_ / relative, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  bool Exists(const std::string& relative) const {
    return std::filesystem::exists(root_ / relative);
  }
  void MakeFolder(const std::string& relative) const {
    std::filesystem::create_directories(root_ / relative);
  }

 private:
  std::filesystem::path root_;
  std::string old_;
  bool hadOld_ = false;
};

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

  std::vector<platform::MessageBox> boxes;
  std::deque<platform::Answer> answers;

 private:
  platform::MessageBoxHandler old_;
};

}  // namespace testsupport
