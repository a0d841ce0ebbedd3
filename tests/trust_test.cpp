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

// ---------------------------------------------------------------------------
// Failed writes.

TEST_F(Trust, ReadOnlyProgramIniIsReportedForEveryKeyAndOkEndsWithFour) {
  chmod(tree_.Host("Korvex/parameter/Program.ini").c_str(), 0444);
  const auto run = Run("dir C:\\SR\\Copy1\nclick CommandOK\n");
  EXPECT_EQ(run.status, 4) << run.transcript << run.errors;
  // Each of the commit's keys once (17 project keys, 25 password keys, 4 keys
  // for each of the two machines, 4 counters), and the start-up's header.
  const std::string line =
      "Fehler in Start / Start_Config_Exe / WriteInputs (Nr. 75) :"
      "C:\\Korvex\\parameter\\Program.ini could not be written\r\n";
  EXPECT_EQ(Count(Log(), line), 17u + 25u + 8u + 4u) << Log();
  EXPECT_EQ(Count(Log(), "/ InitProgramIni (Nr. 75) :C:\\Korvex\\parameter\\Program.ini"), 1u);
  EXPECT_EQ(Count(run.transcript, "Program.ini could not be written<LF><CR>Error logged to "),
            17u + 25u + 8u + 4u + 1u);
  EXPECT_NE(run.transcript.find("Resume?"), std::string::npos);
  EXPECT_EQ(Ini("parameter/Program.ini"), "[Project]\r\nNumberOfMachines=7\r\n");
  // What could be written was written: the copy, the presets, the stamp.
  EXPECT_EQ(Ini("program/Korvex.mdb"), "copy database");
  EXPECT_EQ(Ini("TarvelPresets.ini"), "[Project]\r\nFormatOfDate=0\r\n");
  EXPECT_NE(Ini("Start/Start.cfg").find("S_Prog="), std::string::npos);
}

TEST_F(Trust, PresetsFileThatIsAFolderIsReportedOnce) {
  tree_.MakeFolder("Korvex/TarvelPresets.ini");
  const auto run = Run("dir C:\\SR\\Copy1\nclick CommandOK\n");
  EXPECT_EQ(run.status, 4) << run.transcript << run.errors;
  EXPECT_EQ(Log(),
            "Fehler in Start / Start_Config_Exe / WriteInputs (Nr. 75) :"
            "C:\\Korvex\\TarvelPresets.ini could not be written\r\n");
  EXPECT_NE(Ini("parameter/Program.ini").find("SpeedFactor=7"), std::string::npos);
}

TEST_F(Trust, FileSizeLimitIsAFullDiskReportedNotAKill) {
  // A limit just above what the files hold now: the grown Program.ini cannot be
  // written. The limit would kill the process with SIGXFSZ unless the step
  // ignores that signal itself.
  testsupport::StartOptions options;
  options.fileSizeLimit = 400;
  const auto run = install_.Finish(
      install_.Start(kCommandLine, "dir C:\\SR\\Copy1\nclick CommandOK\n", options));
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.status, 4) << run.transcript << run.errors;
  EXPECT_NE(Log().find("WriteInputs (Nr. 75) :C:\\Korvex\\parameter\\Program.ini could not be "
                       "written\r\n"),
            std::string::npos)
      << Log();
  // Whole or not at all: what is there reads as an INI file that ends in a line break.
  const std::string ini = Ini("parameter/Program.ini");
  EXPECT_LE(ini.size(), 400u);
  EXPECT_EQ(ini.substr(ini.size() - 2), "\r\n");
}

TEST_F(Trust, ReadOnlyParameterFolderStillTakesWritesIntoItsFiles) {
  install_.Write("TarvelPresets.ini", "");
  chmod(tree_.Host("Korvex/parameter").c_str(), 0555);
  const auto run = Run("dir C:\\SR\\Copy1\nclick CommandOK\n");
  chmod(tree_.Host("Korvex/parameter").c_str(), 0755);
  EXPECT_EQ(run.status, 0) << run.transcript << run.errors;
  EXPECT_EQ(Log(), "");
  EXPECT_NE(Ini("parameter/Program.ini").find("SpeedFactor=7"), std::string::npos);
  EXPECT_EQ(Mark(), "False");
}

TEST_F(Trust, CancelMarkThatCannotBeWrittenEndsWithFour) {
  chmod(tree_.Host("Korvex/parameter/kvxconfiguration.ini").c_str(), 0444);
  const auto run = Run("focus CommandCancel\nanswer Yes\nclick CommandCancel\n");
  EXPECT_EQ(run.status, 4) << run.transcript << run.errors;
  EXPECT_NE(
      Log().find("CommandCancel_Click (Nr. 75) :C:\\Korvex\\parameter\\kvxconfiguration.ini"
                 " could not be written\r\nKonfigurations-EXE wurde abgebrochen:     Start\r\n"),
      std::string::npos)
      << Log();
}

TEST_F(Trust, RefusedCopysMarkThatCannotBeWrittenIsReported) {
  tree_.Write("SR/Other/parameter/program.ini", Lines({"[Machine1]", "MachineName=Seamer"}));
  chmod(tree_.Host("Korvex/parameter/kvxconfiguration.ini").c_str(), 0444);
  const auto run = Run("dir C:\\SR\\Other\n");
  EXPECT_EQ(Count(Log(),
                  "ConnectSAR (Nr. 75) :C:\\Korvex\\parameter\\kvxconfiguration.ini could "
                  "not be written"),
            4u)  // the start-up's two empty connects, then SaveAndRestore and the mark
      << Log();
  EXPECT_EQ(Mark(), "");
}

TEST_F(Trust, WithoutTheMachineListOkDoesNotOverwriteTheMachineCount) {
  fs::remove(tree_.Host("Korvex/parameter/kvxconfiguration.ini"));
  const auto run = Run("dir C:\\SR\\Copy1\nclick CommandOK\n");
  EXPECT_EQ(run.status, 4) << run.transcript << run.errors;
  EXPECT_NE(Log().find("CopyFiles (Nr. 9) :"), std::string::npos) << Log();
  EXPECT_NE(Log().find("WriteInputs (Nr. 9) :"), std::string::npos) << Log();
  EXPECT_NE(Ini("parameter/Program.ini").find("NumberOfMachines=7\r\n"), std::string::npos);
}

TEST_F(Trust, SpeedFactorsAreWrittenInPlainDigits) {
  install_.Prepare({"M1", "M2", "M3", "M4", "M5"});
  std::string copy = "[Project]\r\n";
  for (int i = 1; i <= 5; ++i)
    copy += "[Machine" + std::to_string(i) + "]\r\nMachineName=M" + std::to_string(i) + "\r\n";
  tree_.Write("SR/Copy1/parameter/program.ini", copy);
  for (int i = 1; i <= 5; ++i) {
    const std::string folder =
        "Source/Verschiedenes/Maschinenabhängig/M" + std::to_string(i) + "/Standard/";
    tree_.Write(folder + "Warn_xx_xxx_1024.bmp", "stand-by");
    tree_.Write(folder + "MachineSymbol_M" + std::to_string(i) + "_1024.gif", "symbol");
  }
  const auto run =
      Run("dir C:\\SR\\Copy1\ntext TextSpeedFactor(1) 1e3\ntext TextSpeedFactor(2)  7 \n"
          "text TextSpeedFactor(3) +7\ntext TextSpeedFactor(4) -0\ntext TextSpeedFactor(5) 40000\n"
          "click CommandOK\n");
  // 40000 overflows the box's value: reported while typed, written as typed.
  EXPECT_EQ(run.status, 0) << run.transcript << run.errors;
  const std::string ini = Ini("parameter/Program.ini");
  for (const auto& [n, factor] :
       std::map<int, std::string>{{1, "1000"}, {2, "7"}, {3, "7"}, {4, "0"}, {5, "40000"}}) {
    EXPECT_NE(ini.find("[Machine" + std::to_string(n) + "]\r\nMachineName=M" + std::to_string(n) +
                       "\r\nSpeedFactor=" + factor + "\r\n"),
              std::string::npos)
        << n << "\n"
        << ini;
  }
}

TEST_F(Trust, AcceptedCopyAfterARefusedOneTakesTheMarkBack) {
  tree_.Write("SR/Other/parameter/program.ini", Lines({"[Machine1]", "MachineName=Seamer"}));
  const auto run = Run("dir C:\\SR\\Other\ndir C:\\SR\\Copy1\nclick CommandOK\n");
  EXPECT_EQ(run.status, 0) << run.transcript << run.errors;
  EXPECT_EQ(Mark(), "False");
}

// ---------------------------------------------------------------------------
// Leaving without OK, and a second start.

TEST_F(Trust, ScriptEndingWithTheWindowOpenLeavesTheMarkAfterAnAcceptedCopy) {
  const auto run = Run("dir C:\\SR\\Copy1\n");
  EXPECT_EQ(run.status, 3) << run.transcript << run.errors;
  EXPECT_EQ(Mark(), "Start_Config");
  EXPECT_EQ(Log(), "Konfigurations-EXE wurde abgebrochen:     Start\r\n");
  EXPECT_EQ(Count(run.transcript, "msgbox"), 0u);
}

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

TEST_F(Trust, SignalsLeaveTheMarkAndEndWithTheirStatus) {
  for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
    install_.Write("parameter/kvxconfiguration.ini",
                   "[Common]\r\nNameM1=Filler\r\nNameM2=Capper\r\nMonitorRes=1024\r\n"
                   "ConfigExeCancel=False\r\n");
    fs::remove(tree_.Host("Korvex/KVXLOG.TXT"));
    PipedStep step(install_);
    ASSERT_TRUE(InstallationHeld(tree_.Host("Korvex")));
    kill(step.pid, sig);
    const auto run = step.Wait();
    EXPECT_EQ(run.status, 128 + sig) << run.transcript << run.errors;
    EXPECT_EQ(Mark(), "Start_Config") << sig;
    EXPECT_EQ(Log(), "Konfigurations-EXE wurde abgebrochen:     Start\r\n");
  }
}

}  // namespace
