// The copies of OK, run in-process on a form whose state the tests set directly:
// the copy plan, the stand-by picture, the "not found" reports, bad sources and
// destinations, unsafe machine names and a full disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "form/start_config_form.h"
#include "runtime/command_line.h"
#include "runtime/config_paths.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::WarnName;

const char* const kIntegrated =
    "/EXTERNAL=KVXCFG /LOGFILE=C:\\Korvex\\KVXLOG.TXT /SOURCEPATH=C:\\Source\\";
// The source folder as the command line gives it back (upper case).
const std::string kSource = "C:\\SOURCE\\";
const std::string kMachines = "Source/Verschiedenes/Maschinenabhängig/";

std::string WinMachineFolder(const std::string& name) {
  return kSource + "Verschiedenes\\Maschinenabhängig\\" + name + "\\Standard\\";
}

class CopyFilesTest : public testsupport::FormTest {
 protected:
  CopyFilesTest() : FormTest(kIntegrated) {
    tree_.Write("Korvex/Start/Start.cfg", "[Project]\r\nValidMachines=FILLER\r\n");
    // Host folders in other letter cases than the plan writes them.
    tree_.MakeFolder("Korvex/Program");
    tree_.MakeFolder("Korvex/parameter");
    tree_.MakeFolder("Korvex/Standard");
    rt::ExistingMachines = {"", "Filler"};
    form_->MonitorResolution = "1024";
    form_->VisuVersion = 1;
  }
  void Databases() {
    tree_.Write("SR/Copy1/program/korvex.mdb", "project database");
    tree_.Write("SR/Copy1/program/Alarmdefinition.mdb", "alarm definitions");
    tree_.Write("SR/Copy1/program/Helptext.mdb", "help texts");
    tree_.Write("SR/Copy1/program/korvex.vws", "studio project");
    form_->TextPath[0]->SetText("C:\\SR\\Copy1\\program\\korvex.mdb");
    form_->TextPath[1]->SetText("C:\\SR\\Copy1\\program\\Alarmdefinition.mdb");
    form_->TextPath[2]->SetText("C:\\SR\\Copy1\\program\\Helptext.mdb");
  }

  std::string Log() const { return tree_.Read("Korvex/KVXLOG.TXT"); }
};

TEST_F(CopyFilesTest, StudioProjectSkipsTheAlarmRowAndStandaloneCopiesNothing) {
  Databases();
  form_->TextPath[0]->SetText("C:\\SR\\Copy1\\program\\korvex.vws");
  form_->VisuVersion = 2;
  rt::ExistingMachines = {""};  // no machine positions: the machine loop does not run
  form_->CopyFiles();
  EXPECT_TRUE(boxes_.boxes.empty());
  EXPECT_EQ(tree_.Read("Korvex/Program/Korvex.vws"), "studio project");
  EXPECT_FALSE(tree_.Exists("Korvex/Program/AlarmDefinition.mdb"));
  EXPECT_FALSE(tree_.Exists("Korvex/Program/Korvex.mdb"));
  EXPECT_EQ(tree_.Read("Korvex/Program/HelpText.mdb"), "help texts");

  fs::remove_all(tree_.Host("Korvex/Program"));
  tree_.MakeFolder("Korvex/Program");
  testsupport::SetProcess("/SOURCEPATH=C:\\Source\\");
  form_->CopyFiles();
  EXPECT_TRUE(fs::is_empty(tree_.Host("Korvex/Program")));
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(CopyFilesTest, MissingMachineFolderIsReportedAndTheNextMachineCopies) {
  tree_.Write(kMachines + "Capper/Standard/Warn_xx_xxx_1024.bmp", "capper stand-by");
  tree_.Write(kMachines + "Capper/Standard/MachineSymbol_Capper_1024.gif", "capper symbol");
  rt::ExistingMachines = {"", "Oven", "Capper"};  // Oven has no folder
  form_->CopyFiles();
  ASSERT_EQ(boxes_.boxes.size(), 18u);
  EXPECT_NE(boxes_.boxes[0].text.find(WinMachineFolder("Oven") + "Warn_xx_xxx_1024.bmp not found"),
            std::string::npos);
  EXPECT_NE(boxes_.boxes[16].text.find("Path not found"), std::string::npos);
  EXPECT_NE(boxes_.boxes[17].text.find(WinMachineFolder("Oven") +
                                       "MachineSymbol_Oven_1024.gif not found"),
            std::string::npos);
  EXPECT_NE(Log().find("Fehler in Start / Start_Config_Exe / CopyFiles (Nr. 76) :Path not found"),
            std::string::npos);
  EXPECT_EQ(tree_.Read("Korvex/Standard/" + WarnName(16, "Capper")), "capper stand-by");
  EXPECT_EQ(tree_.Read("Korvex/Standard/MachineSymbol_Capper_1024.gif"), "capper symbol");
}

TEST_F(CopyFilesTest, SourcesThatAreNoReadableFileAndBadDestinations) {
  setenv("KORVEX_DRIVES", ("C=" + tree_.root().string() + ";D=/dev").c_str(), 1);
  tree_.Write("Korvex/Program/Korvex.mdb", "keep 0");
  tree_.Write("Korvex/Program/AlarmDefinition.mdb", "keep 1");
  tree_.Write("Korvex/Program/HelpText.mdb", "keep 2");
  tree_.MakeFolder("SR/Copy1/program");
  form_->TextPath[0]->SetText("C:\\SR\\Copy1\\program");  // a folder
  form_->TextPath[1]->SetText("D:\\null");                // a device
  form_->TextPath[2]->SetText("C:\\SR\\Copy1\\program\\Missing.mdb");
  rt::ExistingMachines = {""};
  form_->CopyFiles();
  EXPECT_TRUE(boxes_.boxes.empty());
  EXPECT_EQ(tree_.Read("Korvex/Program/Korvex.mdb"), "keep 0");
  EXPECT_EQ(tree_.Read("Korvex/Program/AlarmDefinition.mdb"), "keep 1");
  EXPECT_EQ(tree_.Read("Korvex/Program/HelpText.mdb"), "keep 2");

  // An unreadable source and a read-only destination are refused (70); a missing
  // destination folder is not created (76). Each is reported, none stops the rest.
  Databases();
  fs::permissions(tree_.Host("SR/Copy1/program/korvex.mdb"), fs::perms::none);
  fs::permissions(tree_.Host("Korvex/Program/AlarmDefinition.mdb"), fs::perms::owner_read);
  fs::remove_all(tree_.Host("Korvex/parameter"));
  tree_.Write("Source/Verschiedenes/parameter/Brand.mdb", "brand");
  form_->CopyFiles();
  ASSERT_EQ(boxes_.boxes.size(), 3u);
  EXPECT_NE(boxes_.boxes[0].text.find("Permission denied"), std::string::npos);
  EXPECT_NE(boxes_.boxes[1].text.find("Permission denied"), std::string::npos);
  EXPECT_NE(boxes_.boxes[2].text.find("Path not found"), std::string::npos);
  EXPECT_EQ(tree_.Read("Korvex/Program/Korvex.mdb"), "keep 0");
  EXPECT_EQ(tree_.Read("Korvex/Program/AlarmDefinition.mdb"), "keep 1");
  EXPECT_EQ(tree_.Read("Korvex/Program/HelpText.mdb"), "help texts");
  EXPECT_FALSE(tree_.Exists("Korvex/parameter"));
  for (const std::string& name : tree_.Entries("Korvex/Program"))
    EXPECT_NE(name[0], '.') << name;  // no temporary left

  // Without the "\standard\" folder every picture copy fails on its own.
  boxes_.boxes.clear();
  fs::remove_all(tree_.Host("Korvex/Standard"));
  form_->TextPath[0]->SetText("");
  rt::ExistingMachines = {"", "Filler"};
  tree_.Write(kMachines + "Filler/Standard/Warn_xx_xxx_1024.bmp", "stand-by");
  tree_.Write(kMachines + "Filler/Standard/MachineSymbol_Filler_1024.gif", "symbol");
  form_->CopyFiles();
  // Rows 1 to 4: the read-only database again and the missing parameter folder;
  // then 16 warnings, 2 folder files and the symbol.
  EXPECT_EQ(boxes_.boxes.size(), 2u + 16u + 2u + 1u);
  for (size_t i = 2; i < boxes_.boxes.size(); ++i)
    EXPECT_NE(boxes_.boxes[i].text.find("Path not found"), std::string::npos) << i;
  EXPECT_FALSE(tree_.Exists("Korvex/Standard"));
  EXPECT_FALSE(tree_.Exists("Korvex/standard"));
}

TEST_F(CopyFilesTest, MachineNamesNeverLeadOutOfTheirFolders) {
  // Where the bad names would lead: decoys that must never arrive.
  tree_.Write("Source/Verschiedenes/Standard/Warn_xx_xxx_1024.bmp", "decoy up");
  tree_.Write("Source/Verschiedenes/Standard/MachineSymbol_.._1024.gif", "decoy up");
  tree_.Write(kMachines + "Standard/Warn_xx_xxx_1024.bmp", "decoy empty");
  tree_.Write(kMachines + "Standard/MachineSymbol__1024.gif", "decoy empty");
  tree_.Write(kMachines + "a/b/Standard/Warn_xx_xxx_1024.bmp", "decoy nested");
  tree_.Write(kMachines + "x/y/Standard/Warn_xx_xxx_1024.bmp", "decoy nested");
  tree_.Write("Source/Secret.bmp", "secret");
  tree_.Write(kMachines + "Filler/Standard/Warn_xx_xxx_1024.bmp", "filler stand-by");
  tree_.Write(kMachines + "Filler/Standard/MachineSymbol_Filler_1024.gif", "filler symbol");
  // A host file name that would read as a path up to the source folder.
  tree_.Write(kMachines + "Filler/Standard/..\\..\\..\\Secret.bmp", "inside");
  rt::ExistingMachines = {"", "..", "a\\b", "", "x/y", "Filler"};

  form_->CopyFiles();

  // Four bad names, each failing its 16 warnings, its folder and its symbol; then
  // the one host file name with backslashes.
  ASSERT_EQ(boxes_.boxes.size(), 4u * 18u + 1u);
  for (const auto& box : boxes_.boxes)
    EXPECT_NE(box.text.find("Bad file name or number: "), std::string::npos) << box.text;
  std::vector<std::string> expected;
  for (int k = 1; k <= 16; ++k) expected.push_back(WarnName(k, "Filler"));
  expected.insert(expected.end(), {"MachineSymbol_Filler_1024.gif", "Warn_xx_xxx_1024.bmp"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(tree_.Entries("Korvex/Standard"), expected);
  EXPECT_EQ(tree_.Read("Korvex/Standard/Warn_xx_xxx_1024.bmp"), "filler stand-by");
  EXPECT_NE(Log().find("CopyFiles (Nr. 52) :Bad file name or number: "), std::string::npos);
}

TEST_F(CopyFilesTest, DotsInsideANameAreOrdinaryButDotFoldersSeparatorsAndColonsAreNot) {
  tree_.Write(kMachines + "Line..2/Standard/Warn_xx_xxx_1024.bmp", "line stand-by");
  tree_.Write(kMachines + "Line..2/Standard/MachineSymbol_Line..2_1024.gif", "line symbol");
  tree_.Write(kMachines + "Line..2/Standard/Extra.gif", "line extra");
  // Where the refused names would lead.
  tree_.Write("Source/Verschiedenes/Standard/Warn_xx_xxx_1024.bmp", "decoy up");
  tree_.Write(kMachines + "a:b/Standard/Warn_xx_xxx_1024.bmp", "decoy colon");
  tree_.Write(kMachines + "a:b/Standard/MachineSymbol_a:b_1024.gif", "decoy colon");
  tree_.Write(kMachines + "a/b/Standard/Warn_xx_xxx_1024.bmp", "decoy nested");
  rt::ExistingMachines = {"", "..", "Line..2", "a:b", "a/b"};

  form_->CopyFiles();

  // Each refused name fails its 16 warnings, its folder and its symbol.
  ASSERT_EQ(boxes_.boxes.size(), 3u * 18u);
  for (const auto& box : boxes_.boxes)
    EXPECT_NE(box.text.find("Bad file name or number: "), std::string::npos) << box.text;
  std::vector<std::string> expected;
  for (int k = 1; k <= 16; ++k) expected.push_back(WarnName(k, "Line..2"));
  expected.insert(expected.end(),
                  {"Extra.gif", "MachineSymbol_Line..2_1024.gif", "Warn_xx_xxx_1024.bmp"});
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(tree_.Entries("Korvex/Standard"), expected);
  EXPECT_EQ(tree_.Read("Korvex/Standard/" + WarnName(7, "Line..2")), "line stand-by");
  EXPECT_EQ(tree_.Read("Korvex/Standard/MachineSymbol_Line..2_1024.gif"), "line symbol");
  EXPECT_EQ(tree_.Read("Korvex/Standard/Extra.gif"), "line extra");
  EXPECT_NE(Log().find("CopyFiles (Nr. 52) :Bad file name or number: "), std::string::npos);
}

TEST_F(CopyFilesTest, FullDiskLeavesNoHalfWrittenFile) {
  tree_.Write("Korvex/Program/Korvex.mdb", "old database");
  tree_.Write("SR/Copy1/program/korvex.mdb", std::string(1 << 20, 'x'));
  form_->TextPath[0]->SetText("C:\\SR\\Copy1\\program\\korvex.mdb");
  rt::ExistingMachines = {""};
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The file-size limit stands in for a full disk: writes past it fail.
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{64 << 10, 64 << 10};
    setrlimit(RLIMIT_FSIZE, &limit);
    form_->CopyFiles();
    _exit(static_cast<int>(boxes_.boxes.size()));
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(tree_.Read("Korvex/Program/Korvex.mdb"), "old database");
  for (const std::string& name : tree_.Entries("Korvex/Program")) EXPECT_EQ(name, "Korvex.mdb");
  EXPECT_NE(Log().find("Fehler in Start / Start_Config_Exe / CopyFiles (Nr. "), std::string::npos);
}

}  // namespace
