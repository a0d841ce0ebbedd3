// Input and output beyond their bounds: scripts too long or with too long a
// line are refused before anything runs, a bad line's control characters never
// reach the terminal raw, and a file-size limit is reported like a full disk.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Installation;
using testsupport::TempTree;

class ScriptBounds : public ::testing::Test {
 protected:
  ScriptBounds() {
    install_.Prepare({"Filler"});
    Reset();
  }
  // Back to the tree before any run.
  void Reset() {
    install_.Write("parameter/Program.ini", "[Project]\r\n");
    std::error_code ec;
    fs::remove(tree_.Host("Korvex/Start/Start_Config.ini"), ec);
    fs::remove(tree_.Host("Korvex/KVXcfglog.txt"), ec);
  }
  // The script refused at the line, with nothing run and nothing written.
  void ExpectRefused(const testsupport::RunResult& run, int line, const std::string& why) {
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.errors, "Start_Config: script line " + std::to_string(line) + ": " + why + "\n");
    EXPECT_EQ(run.transcript, "");
    ExpectNothingWritten();
  }
  void ExpectNothingWritten() {
    EXPECT_EQ(install_.Read("parameter/Program.ini"), "[Project]\r\n");
    EXPECT_FALSE(install_.Exists("Start/Start_Config.ini"));
    EXPECT_FALSE(install_.Exists("KVXcfglog.txt"));
  }

  TempTree tree_;
  Installation install_{tree_};
};

TEST_F(ScriptBounds, ScriptsUpTo16MiBRunAndLongerOnesAreRefusedAtTheLineThatCrossesIt) {
  // "dump", then 1 KiB lines up to exactly 16 MiB.
  const std::string comment = "#" + std::string(1022, 'x') + "\n";
  std::string script = "dump\n#" + std::string(1017, 'x') + "\n";
  for (int k = 2; k <= 16384; ++k) script += comment;
  ASSERT_EQ(script.size(), size_t{16} << 20);
  const auto full = install_.Run(install_.Integrated(), script);
  EXPECT_EQ(full.status, 3) << full.errors;
  EXPECT_NE(full.transcript.find("> dump\n"), std::string::npos);

  Reset();
  ExpectRefused(install_.Run(install_.Integrated(), script + "dump\n"), 16386,
                "the script is longer than 16 MiB");
}

TEST_F(ScriptBounds, LinesUpTo64KiBRunAndALongerOneIsRefusedWithItsNumber) {
  const std::string longest = "# " + std::string((64 << 10) - 2, 'x');
  const auto fits = install_.Run(install_.Integrated(), "dump\n" + longest + "\r\ndump\n");
  EXPECT_EQ(fits.status, 3) << fits.errors;

  Reset();
  ExpectRefused(install_.Run(install_.Integrated(), "dump\n\n" + longest + "x\ndump\n"), 3,
                "the line is longer than 64 KiB");
  // Without a line end at all.
  ExpectRefused(install_.Run(install_.Integrated(), longest + "xy"), 1,
                "the line is longer than 64 KiB");
}

TEST_F(ScriptBounds, AHugeLineIsNeverReadWhole) {
  // A sparse file: 256 MiB of NUL bytes and no line end, taking no disk space.
  const fs::path script = tree_.root() / "huge.script";
  {
    const int fd = open(script.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, off_t{256} << 20), 0);
    close(fd);
  }
  testsupport::StartOptions options;
  options.scriptFile = script;
  const auto run = install_.Finish(install_.Start(install_.Integrated(), "", options));
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.status, 1);
  EXPECT_LT(run.peakKiB, 128 * 1024);
  ASSERT_LT(run.errors.size(), 1000u);  // no diff of a line read whole
  EXPECT_EQ(run.errors, "Start_Config: script line 1: the line is longer than 64 KiB\n");
  ExpectNothingWritten();
}

TEST_F(ScriptBounds, ControlCharactersOfABadLineAreShownEscaped) {
  // ESC, CSI as a C1 character and as a lone byte, DEL, a tab; umlauts stay.
  const std::string verb =
      "\x1b[31mred\xc2\x9b"
      "2J\x9b\x7f\tGr\xc3\xbc\xc3\x9f"
      "e";
  const auto run = install_.Run(install_.Integrated(), "dump\n" + verb + " CommandOK\n");
  ExpectRefused(run, 2,
                "unknown action \"\\x1b[31mred\\u009b2J\\x9b\\x7f\\tGr\xc3\xbc\xc3\x9f"
                "e\"");
  EXPECT_EQ(run.errors.find('\x1b'), std::string::npos);
  EXPECT_EQ(run.errors.find('\x9b'), std::string::npos);
  EXPECT_EQ(run.errors.find('\t'), std::string::npos);
}

// A file-size limit (ulimit -f) stands in for a full disk: the step is not
// ended by the limit's signal but reports the failed copy and goes on.
TEST(FileSizeLimit, ADatabaseCopyOverTheLimitIsReportedAsDiskFull) {
  TempTree tree;
  Installation install(tree);
  install.Prepare({"Filler"});
  tree.MakeFolder("Korvex/Standard");
  tree.MakeFolder("Korvex/program");
  install.Write("program/Korvex.mdb", "old database");
  tree.Write("SR/parameter/program.ini",
             "[Project]\r\n[Machine1]\r\nMachineName=Filler\r\nSpeedFactor=4\r\n");
  tree.Write("SR/program/korvex.mdb", std::string(1 << 20, 'd'));
  const std::string machine = "Source/Verschiedenes/Maschinenabh\u00e4ngig/Filler/Standard/";
  tree.Write(machine + "Warn_xx_xxx_1024.bmp", "stand-by");
  tree.Write(machine + "MachineSymbol_Filler_1024.gif", "symbol");
  const fs::path script = tree.root() / "ok.script";
  tree.Write("ok.script", "dir C:\\SR\nclick CommandOK\n");

  testsupport::StartOptions options;
  options.scriptFile = script;
  options.fileSizeLimit = rlim_t{256} << 10;
  const auto run = install.Finish(install.Start(
      install.Integrated() + " /LOGFILE=C:\\Korvex\\KVXLOG.TXT /SOURCEPATH=C:\\Source\\", "",
      options));
  ASSERT_EQ(run.signal, 0) << "ended by signal " << run.signal;
  // OK goes on to its end, whose status tells of the reported failure.
  EXPECT_EQ(run.status, 4) << run.transcript << run.errors;
  EXPECT_NE(run.transcript.find("msgbox title=\"Unexpected error\""), std::string::npos)
      << run.transcript;
  const std::string log = install.Read("KVXLOG.TXT");
  EXPECT_NE(log.find("/ CopyFiles (Nr. 61) :Disk full"), std::string::npos) << log;
  // The old database stays whole and no partial copy is left beside it.
  EXPECT_EQ(install.Read("program/Korvex.mdb"), "old database");
  EXPECT_EQ(tree.Entries("Korvex/program"), std::vector<std::string>{"Korvex.mdb"});
  // The rest of OK went on.
  EXPECT_NE(install.Read("parameter/Program.ini").find("SpeedFactor=4"), std::string::npos);
}

}  // namespace
