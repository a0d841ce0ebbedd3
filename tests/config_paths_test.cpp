#include "runtime/config_paths.h"

#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "base/failure.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "runtime/command_line.h"
#include "test_support.h"

namespace {

using testsupport::StartAs;
using Machines = std::vector<std::string>;

constexpr const char* kIntegrated = "/EXTERNAL=KVXCFG";

// A temporary drive C: holding an installation C:\Korvex with the step in
// C:\Korvex\Start.
class ConfigPathsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_.MakeFolder("Korvex/Start");
    tree_.MakeFolder("Korvex/parameter");
    StartAs("");
  }
  void PutConfiguration(const std::string& common) {
    tree_.Write("Korvex/parameter/kvxconfiguration.ini", "[Common]\r\n" + common);
  }

  testsupport::RuntimeState state_;
  testsupport::TempTree tree_;
  testsupport::BoxRecorder boxes_;
};

TEST_F(ConfigPathsTest, InstallationFilesHangOffTheParentOfTheProgramFolder) {
  EXPECT_EQ(rt::GetInstallationFolder(), "C:\\Korvex");
  EXPECT_EQ(rt::GetTarvelPresetsIniPath(), "C:\\Korvex\\TarvelPresets.ini");  // not checked
  EXPECT_EQ(rt::GetKVXConfigurationIniPath(), "");
  EXPECT_EQ(rt::GetProgramIniPath(2), "");

  PutConfiguration("");
  tree_.Write("Korvex/parameter/Program.ini", "");
  tree_.Write("Korvex/Start/Start.cfg", "");
  EXPECT_EQ(rt::GetKVXConfigurationIniPath(), "C:\\Korvex\\parameter\\kvxconfiguration.ini");
  EXPECT_EQ(rt::GetProgramIniPath(2), "C:\\Korvex\\parameter\\Program.ini");
  EXPECT_EQ(rt::GetCFGPath(), "C:\\Korvex\\Start\\Start.cfg");

  StartAs("", "C:\\Plant\\Start");
  EXPECT_EQ(rt::GetInstallationFolder(), "C:\\Plant");
  StartAs("", "C:\\");
  EXPECT_EQ(rt::GetInstallationFolder(), "C:");
  EXPECT_EQ(rt::GetTarvelPresetsIniPath(), "C:\\TarvelPresets.ini");
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(ConfigPathsTest, ProgramIniFollowsTheSaveAndRestoreCopyOnlyInMode1Integrated) {
  tree_.Write("SR/Copy1/parameter/program.ini", "");
  tree_.Write("Korvex/parameter/Program.ini", "");
  const std::string copy = "C:\\SR\\Copy1\\parameter\\program.ini";

  StartAs(kIntegrated);
  PutConfiguration("SaveAndRestore=C:\\SR\\Copy1\\\r\n");
  EXPECT_EQ(rt::GetProgramIniPath(1), copy);
  PutConfiguration("SaveAndRestore=C:\\SR\\Copy1\r\n");
  EXPECT_EQ(rt::GetProgramIniPath(1), copy);
  EXPECT_EQ(rt::GetProgramIniPath(2), "C:\\Korvex\\parameter\\Program.ini");
  PutConfiguration("SaveAndRestore=C:\\SR\\Missing\r\n");
  EXPECT_EQ(rt::GetProgramIniPath(1), "");

  StartAs("");
  PutConfiguration("SaveAndRestore=C:\\SR\\Copy1\r\n");
  EXPECT_EQ(rt::GetProgramIniPath(1), "C:\\Korvex\\parameter\\Program.ini");
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(ConfigPathsTest, IntegratedMachinesEndAtTheFirstDashOrEmptyName) {
  StartAs(kIntegrated);
  PutConfiguration("NameM1=Filler\r\nNameM2=Packer\r\nNameM3=-\r\nNameM4=Wrapper\r\n");
  rt::GetExistingMachines(rt::GetKVXConfigurationIniPath());
  EXPECT_EQ(rt::ExistingMachines, (Machines{"", "Filler", "Packer"}));
  EXPECT_EQ(rt::MachineCount(), 2);
  EXPECT_EQ(rt::MachineCountOrZero(), 2);

  rt::ExistingMachines.clear();
  PutConfiguration("NameM1=A\r\nNameM2=B\r\nNameM3=\r\nNameM4=D\r\n");
  rt::GetExistingMachines(rt::GetKVXConfigurationIniPath());
  EXPECT_EQ(rt::ExistingMachines, (Machines{"", "A", "B"}));

  rt::ExistingMachines.clear();
  PutConfiguration(
      "NameM1=M1\r\nNameM2=M2\r\nNameM3=M3\r\nNameM4=M4\r\nNameM5=M5\r\nNameM6=M6\r\n");
  rt::GetExistingMachines(rt::GetKVXConfigurationIniPath());
  EXPECT_EQ(rt::ExistingMachines, (Machines{"", "M1", "M2", "M3", "M4", "M5"}));
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(ConfigPathsTest, IntegratedWithoutMachinesLeavesTheListWithoutPositions) {
  StartAs(kIntegrated);
  for (const std::string common : {"NameM2=Packer\r\n", "NameM1=-\r\nNameM2=Packer\r\n"}) {
    PutConfiguration(common);
    rt::GetExistingMachines(rt::GetKVXConfigurationIniPath());
    EXPECT_TRUE(rt::ExistingMachines.empty()) << common;
  }
  EXPECT_EQ(rt::MachineCountOrZero(), 0);
  try {
    rt::MachineCount();
    ADD_FAILURE() << "no failure for a list without positions";
  } catch (const platform::Failure& f) {
    EXPECT_EQ(f.number, 9);
  }

  // An empty or missing configuration file leaves a filled list as it was.
  rt::ExistingMachines = {"", "Kept"};
  rt::GetExistingMachines("");
  rt::GetExistingMachines("C:\\Korvex\\parameter\\missing.ini");
  EXPECT_EQ(rt::ExistingMachines, (Machines{"", "Kept"}));
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(ConfigPathsTest, StandaloneMachinesComeFromTheInstallationsProgramIni) {
  PutConfiguration("NameM1=Ignored\r\n");
  rt::GetExistingMachines(rt::GetKVXConfigurationIniPath());
  EXPECT_TRUE(rt::ExistingMachines.empty());  // no Program.ini: reads -1 machines

  tree_.Write("Korvex/parameter/Program.ini",
              "[Project]\r\nNumberOfMachines=3\r\n[Machine1]\r\nMachineName=Filler\r\n"
              "[Machine3]\r\nMachineName=Wrapper\r\n");
  rt::GetExistingMachines(rt::GetKVXConfigurationIniPath());
  EXPECT_EQ(rt::ExistingMachines, (Machines{"", "Filler", "", "Wrapper"}));
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(ConfigPathsTest, ValidMachinesAreReadRawAndMatchedBySubstring) {
  tree_.Write("Korvex/Start/Start.cfg", "[Project]\r\nValidMachines=Filler, PACKER\r\n");
  EXPECT_EQ(rt::GetValidMachines(), "Filler, PACKER");

  EXPECT_TRUE(rt::IsValidMachine("all", "Anything"));
  EXPECT_TRUE(rt::IsValidMachine("All", ""));
  EXPECT_TRUE(rt::IsValidMachine("Filler, PACKER", "packer"));
  EXPECT_TRUE(rt::IsValidMachine("M10", "M1"));
  EXPECT_FALSE(rt::IsValidMachine("M1", "M10"));
  EXPECT_FALSE(rt::IsValidMachine("ALL,M1", "M2"));  // "ALL" counts only on its own
  EXPECT_FALSE(rt::IsValidMachine("", "M1"));
  EXPECT_FALSE(rt::IsValidMachine("", ""));
}

TEST_F(ConfigPathsTest, FileNameOnlyIsTheTextAfterTheLastBackslash) {
  EXPECT_EQ(rt::GetFileNameOnly("D:\\Plant\\Start"), "Start");
  EXPECT_EQ(rt::GetFileNameOnly("D:\\Plant\\"), "");
  EXPECT_EQ(rt::GetFileNameOnly("Start_Config.exe"), "Start_Config.exe");
  EXPECT_EQ(rt::GetFileNameOnly("D:/Plant/Start"), "D:/Plant/Start");
  EXPECT_EQ(rt::GetFileNameOnly(""), "");
}

TEST_F(ConfigPathsTest, MissingCfgFileEndsTheProcessAfterItsMessage) {
  platform::SetMessageBoxHandler([](const platform::MessageBox& box) {
    std::cerr << "[" << box.title << "] " << platform::VisibleLineBreaks(box.text) << std::endl;
    return platform::DefaultAnswer(box);
  });
  EXPECT_EXIT(rt::GetCFGPath(), testing::ExitedWithCode(1),
              "\\[Start_Config\\] File not found: <LF><CR>C:.KORVEX.START.START.CFG");
  EXPECT_EXIT(rt::GetValidMachines(), testing::ExitedWithCode(1), "File not found");
}

}  // namespace
