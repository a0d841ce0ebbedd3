// What an installer must be able to trust at the edges: a settings write that
// did not happen is reported and the status says so, a second start on the same
// installation is refused, and a step left without OK (its script or terminal
// gone, a signal) always leaves the cancel mark.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Count;

const char* const kCommandLine =
    "/EXTERNAL=KVXCFG /LOGFILE=C:\\Korvex\\KVXLOG.TXT /SOURCEPATH=C:\\Source\\";

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

// Every file below a folder with its contents, for "nothing was written".
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file())
      files[e.path().lexically_relative(root).string()] = testsupport::ReadFile(e.path());
  return files;
}

// Two machines, both valid, and an accepted Save & Restore copy in C:\SR\Copy1.
class Trust : public ::testing::Test {
 protected:
  Trust() : install_(tree_) {
    install_.Prepare({"Filler", "Capper"});
    install_.Write("parameter/Program.ini", "[Project]\r\nNumberOfMachines=7\r\n");
    tree_.MakeFolder("Korvex/program");
    tree_.MakeFolder("Korvex/standard");
    tree_.Write(
        "SR/Copy1/parameter/program.ini",
        Lines({"[Project]", "Control=1", "TimeChanging=false", "[Machine1]", "MachineName=Filler",
               "SpeedFactor=3", "[Machine2]", "MachineName=Capper", "SpeedFactor=7"}));
    tree_.Write("SR/Copy1/program/korvex.mdb", "copy database");
    for (const char* m : {"Filler", "Capper"}) {
      const std::string folder =
          std::string("Source/Verschiedenes/Maschinenabhängig/") + m + "/Standard/";
      tree_.Write(folder + "Warn_xx_xxx_1024.bmp", "stand-by");
      tree_.Write(folder + "MachineSymbol_" + m + "_1024.gif", "symbol");
    }
  }

  testsupport::RunResult Run(const std::string& script) {
    return install_.Run(kCommandLine, script);
  }
  std::string Log() const {
    return install_.Exists("KVXLOG.TXT") ? install_.Read("KVXLOG.TXT") : "";
  }
  std::string Ini(const std::string& relative) const { return install_.Read(relative); }
  std::string Mark() const {
    const std::string ini = Ini("parameter/kvxconfiguration.ini");
    const size_t at = ini.find("ConfigExeCancel=");
    return at == std::string::npos ? "" : ini.substr(at + 16, ini.find('\r', at) - at - 16);
  }

  testsupport::TempTree tree_;
  testsupport::Installation install_;
};

// The step reading its script from a pipe that the test holds open.
struct PipedStep {
  const testsupport::Installation& install;
  int input = -1;
  pid_t pid = -1;

  explicit PipedStep(const testsupport::Installation& i)
      : install(i), pid(i.Start(kCommandLine, "", {}, &input)) {}
  ~PipedStep() {
    if (input >= 0) close(input);
    if (pid > 0) {
      kill(pid, SIGKILL);
      install.Finish(pid);
    }
  }
  void Send(const std::string& text) {
    ASSERT_EQ(write(input, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  testsupport::RunResult Wait() {
    close(input);
    input = -1;
    const pid_t ended = pid;
    pid = -1;
    return install.Finish(ended);
  }
};

// True once some process holds the installation.
bool InstallationHeld(const fs::path& folder) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < until) {
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    if (held) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST_F(Trust, SecondStartIsRefusedAndTheFirstGoesOnUnharmed) {
  PipedStep first(install_);
  ASSERT_TRUE(InstallationHeld(tree_.Host("Korvex")));
  const auto before = Snapshot(tree_.Host("Korvex"));
  const auto second = Run("dir C:\\SR\\Copy1\nclick CommandOK\n");
  EXPECT_EQ(second.status, 1) << second.transcript << second.errors;
  EXPECT_NE(second.errors.find("Start_Config is already running for C:\\Korvex"), std::string::npos)
      << second.errors;
  EXPECT_NE(second.transcript.find("msgbox title=\"Start_Config\" icon=stop"), std::string::npos);
  EXPECT_EQ(Snapshot(tree_.Host("Korvex")), before);

  first.Send("dir C:\\SR\\Copy1\ntext TextSpeedFactor(2) 9\nclick CommandOK\n");
  const auto firstRun = first.Wait();
  EXPECT_EQ(firstRun.status, 0) << firstRun.transcript << firstRun.errors;
  EXPECT_NE(Ini("parameter/Program.ini").find("SpeedFactor=9"), std::string::npos);
  // The lock dies with its process and leaves no file behind.
  EXPECT_EQ(Run("").status, 3);
}

}  // namespace
