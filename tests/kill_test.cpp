// The executable killed (SIGKILL) at random moments while OK copies a big
// database into the installation: the destination is always the old database
// or the whole new one, and no temporary file is left anywhere. Temporary files
// that killed writers of the named kind left are cleared by the next start.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "e2e_support.h"
#include "kill_support.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::WarnName;

const char* const kCommandLine =
    "/EXTERNAL=KVXCFG /LOGFILE=C:\\Korvex\\KVXLOG.TXT /SOURCEPATH=C:\\Source\\";
const std::string kPictures = "Source/Verschiedenes/Maschinenabhängig/Filler/Standard/";
const std::string kCommit = "dir C:\\SR\\Copy1\nclick CommandOK\n";
constexpr size_t kDatabaseSize = size_t{160} << 20;

// An installation of one machine with an accepted Save & Restore copy whose
// project database is big, and everything else the commit copies.
class KillTest : public testing::Test {
 protected:
  KillTest() : install_(tree_) {
    install_.Prepare({"Filler"}, "FILLER");
    install_.Write("parameter/Program.ini", "[Project]\r\n");
    install_.Write("Program/Korvex.mdb", kOld);
    tree_.MakeFolder("Korvex/Standard");
    tree_.Write("SR/Copy1/parameter/program.ini",
                "[Project]\r\nSupplier=Acme\r\nControl=1\r\nDateFormat=2\r\n"
                "[Machine1]\r\nMachineName=Filler\r\nSpeedFactor=3\r\n");
    testsupport::WriteBigFile(tree_.Host("SR/Copy1/Program/Korvex.mdb"), kDatabaseSize, 7);
    tree_.Write("SR/Copy1/Program/Alarmdefinition.mdb", "copy alarms");
    tree_.Write("SR/Copy1/Program/Helptext.mdb", "copy help");
    tree_.Write("Source/Verschiedenes/parameter/Brand.mdb", "brand");
    tree_.Write(kPictures + "Warn_xx_xxx_1024.bmp", "stand-by");
    tree_.Write(kPictures + "MachineSymbol_Filler_1024.gif", "symbol");
  }

  // Starts the step as Installation::Run does, without waiting for it.
  pid_t Start(const std::string& script) const { return install_.Start(kCommandLine, script); }

  fs::path Destination() const { return tree_.Host("Korvex/Program/Korvex.mdb"); }
  fs::path Source() const { return tree_.Host("SR/Copy1/Program/Korvex.mdb"); }
  bool DestinationIsOld() const { return install_.Read("Program/Korvex.mdb") == kOld; }

  const std::string kOld = "old database";
  testsupport::TempTree tree_;
  testsupport::Installation install_;
};

TEST_F(KillTest, KilledCommitLeavesTheOldDatabaseOrTheWholeNewOne) {
  // Without nameless files (not on this file system) a named temporary file may
  // be left, and the next start clears it; that is tested below.
  const int probe = open(tree_.Host("Korvex/Program").c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (probe < 0) GTEST_SKIP() << "the file system cannot keep files without a name";
  close(probe);

  // A whole run first, for the new bytes and for how long a run takes.
  const auto begin = std::chrono::steady_clock::now();
  const auto whole = install_.Run(kCommandLine, kCommit);
  const auto runTime = std::chrono::steady_clock::now() - begin;
  ASSERT_EQ(whole.status, 0) << whole.transcript << whole.errors;
  ASSERT_TRUE(testsupport::SameBytes(Destination(), Source()));
  EXPECT_EQ(testsupport::TemporariesBelow(tree_.root()), std::vector<std::string>{});

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  int caught = 0;
  for (int attempt = 0; attempt < 8; ++attempt) {
    SCOPED_TRACE("attempt " + std::to_string(attempt));
    install_.Write("Program/Korvex.mdb", kOld);
    const pid_t step = Start(kCommit);
    ASSERT_GT(step, 0);
    int status = 0;
    if (attempt % 2 == 0) {
      // Any moment of the run.
      std::this_thread::sleep_for(std::uniform_real_distribution<double>(0, 1.2)(random) * runTime);
    } else {
      // A moment of the database copy.
      while (!testsupport::HasFileOpenIn(step, tree_.Host("Korvex/Program")) &&
             waitpid(step, &status, WNOHANG) == 0) {
      }
      std::this_thread::sleep_for(
          std::chrono::microseconds(std::uniform_int_distribution<int>(0, 20000)(random)));
    }
    caught += testsupport::HasFileOpenIn(step, tree_.Host("Korvex/Program"));
    kill(step, SIGKILL);
    waitpid(step, &status, 0);
    EXPECT_TRUE(DestinationIsOld() || testsupport::SameBytes(Destination(), Source()));
    EXPECT_EQ(testsupport::TemporariesBelow(tree_.root()), std::vector<std::string>{});
  }
  EXPECT_GT(caught, 0) << "no run was killed while it copied";
}

// What killed writers of the named kind left in the folders the step writes is
// gone after the next start; what is not surely theirs stays.
TEST_F(KillTest, NextStartClearsTemporariesOfEndedWriters) {
  const std::string ended = std::to_string(testsupport::EndedProcessId());
  const std::string running = std::to_string(getpid());
  const std::vector<std::string> stale = {
      "parameter/.Brand.mdb.kvxtmp-" + ended + "-0",
      "Standard/." + WarnName(1, "Filler") + ".kvxtmp-" + ended + "-1",
      "Program/.Korvex.mdb.kvxtmp-" + ended + "-2",
      "Start/.Start.cfg.kvxtmp-" + ended + "-3",
  };
  const std::vector<std::string> kept = {
      "parameter/.Brand.mdb.kvxtmp-" + running + "-0",  // its writer runs
      "Standard/.Symbol.gif.5a3c0000012f.tmp",          // not surely of this program
  };
  for (const std::string& name : stale) install_.Write(name, "left");
  for (const std::string& name : kept) install_.Write(name, "kept");

  const auto run = install_.Run(kCommandLine, "dump\n");
  for (const std::string& name : stale) EXPECT_FALSE(install_.Exists(name)) << name;
  for (const std::string& name : kept) EXPECT_TRUE(install_.Exists(name)) << name;
  EXPECT_NE(run.transcript.find("window shown"), std::string::npos) << run.transcript;
}

}  // namespace
