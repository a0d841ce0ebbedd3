#include "runtime/command_line.h"

#include <gtest/gtest.h>

#include "runtime/errors.h"
#include "test_support.h"

namespace {

using rt::GetPathLogfile;
using rt::GetSourcePath;
using rt::GetStartModeIntegrated;
using rt::ReadCommand;

void StartWith(const std::string& commandLine, const std::string& program = "Start_Config") {
  platform::SetProcessForTesting(commandLine, "C:\\Korvex\\Start", program);
}

TEST(ReadCommand, FindsOptionWordsAnywhereAndSkipsOneCharacter) {
  EXPECT_EQ(ReadCommand("/EXTERNAL=KVXCFG", "EXTERNAL"), "KVXCFG");
  EXPECT_EQ(ReadCommand("/EXTERNAL:KVXCFG", "EXTERNAL"), "KVXCFG");
  EXPECT_EQ(ReadCommand("/EXTERNAL KVXCFG", "EXTERNAL"), "KVXCFG");
  EXPECT_EQ(ReadCommand("/external=kvxcfg", "EXTERNAL"), "KVXCFG");
  EXPECT_EQ(ReadCommand("EXTERNAL=kvxcfg", "external"), "KVXCFG");   // no "/" needed
  EXPECT_EQ(ReadCommand("/EXTERNAL/KVXCFG", "EXTERNAL"), "KVXCFG");  // "/" is the skipped one
  EXPECT_FALSE(ReadCommand("", "EXTERNAL").has_value());
  EXPECT_FALSE(ReadCommand("/LOGFILE=x", "EXTERNAL").has_value());
}

TEST(ReadCommand, ValueRunsToNextSlashTrimmedAndUpperCase) {
  const std::string line = "/EXTERNAL=KVXCFG /LOGFILE=C:\\Log\\x.txt /SOURCEPATH=D:\\Setup\\ ";
  EXPECT_EQ(ReadCommand(line, "EXTERNAL"), "KVXCFG");
  EXPECT_EQ(ReadCommand(line, "LOGFILE"), "C:\\LOG\\X.TXT");
  EXPECT_EQ(ReadCommand(line, "SOURCEPATH"), "D:\\SETUP\\");
  EXPECT_EQ(ReadCommand("/EXTERNAL=KVXCFG/LOGFILE=C:\\Log\\x.txt", "EXTERNAL"), "KVXCFG");
  EXPECT_EQ(ReadCommand("/EXTERNAL /LOGFILE=x", "EXTERNAL"), "");
  EXPECT_EQ(ReadCommand("/SOURCEPATH=C:\\Program Files\\Korvex\\", "SOURCEPATH"),
            "C:\\PROGRAM FILES\\KORVEX\\");
  // The first occurrence wins, even inside another option's value.
  EXPECT_EQ(ReadCommand("/SOURCEPATH=C:\\LOGFILES\\ /LOGFILE=C:\\a.txt", "LOGFILE"), "\\");
  // Umlauts count as one character each and keep their place.
  EXPECT_EQ(ReadCommand("/SOURCEPATH=D:\\Maschinenabhängig\\", "SOURCEPATH"),
            "D:\\MASCHINENABHÄNGIG\\");
}

TEST(StartMode, IntegratedSilentAndStandalone) {
  testsupport::RuntimeState state;
  testsupport::TempTree tree;
  struct Case {
    const char* line;
    bool result, integrated, silent;
  } cases[] = {
      {"", false, false, false},
      {"/external=kvxcfg", true, true, false},
      {"/EXTERNAL=KVXCFG/LOGFILE=C:\\Log\\x.txt", true, true, false},
      {"/EXTERNAL=SILENT", false, false, true},
      {"/EXTERNAL=KVXCFG SILENT", false, false, false},
      {"/EXTERNAL/KVXCFG", true, true, false},
  };
  for (const Case& c : cases) {
    StartWith(c.line);
    EXPECT_EQ(GetStartModeIntegrated(), c.result) << c.line;
    EXPECT_EQ(rt::IntegratedMode, c.integrated) << c.line;
    EXPECT_EQ(rt::SilentMode, c.silent) << c.line;
  }
  StartWith("");
  EXPECT_EQ(GetPathLogfile(), "");
  EXPECT_EQ(GetSourcePath(), "");
}

TEST(StartMode, OptionWordAtTheEndIsReportedThenStandalone) {
  testsupport::RuntimeState state;
  testsupport::TempTree tree;
  testsupport::BoxRecorder boxes;
  tree.MakeFolder("Korvex/Start");
  StartWith("/EXTERNAL");
  EXPECT_FALSE(GetStartModeIntegrated());
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_NE(boxes.boxes[0].text.find("Invalid procedure call or argument"), std::string::npos);
  EXPECT_EQ(tree.Read("Korvex/KVXcfglog.txt"),
            "Fehler in Start / Start_Config_Exe / ReadCommand (Nr. 5) :Invalid procedure call or "
            "argument\r\n");
}

TEST(StartMode, DanglingLogfileOptionDoesNotRecurseInTheErrorRoutine) {
  // Integrated, and the log path lookup itself fails: the failure is reported
  // once, the log entry is skipped (empty path) and nothing recurses.
  testsupport::RuntimeState state;
  testsupport::TempTree tree;
  testsupport::BoxRecorder boxes;
  StartWith("/EXTERNAL=KVXCFG /SOURCEPATH=C:\\Setup\\ /LOGFILE");
  ASSERT_TRUE(GetStartModeIntegrated());
  EXPECT_EQ(GetSourcePath(), "C:\\SETUP\\");
  EXPECT_EQ(GetPathLogfile(), "");
  ASSERT_EQ(boxes.boxes.size(), 1u);  // the lookup above, reported once
  EXPECT_NE(boxes.boxes[0].text.find("Error could not be logged to \n\r"), std::string::npos);
}

TEST(ComponentName, IsProgramNameLessSevenCharacters) {
  StartWith("", "Start_Config");
  EXPECT_EQ(rt::GetOCXName(), "Start");
  StartWith("", "Packer_Config");
  EXPECT_EQ(rt::GetOCXName(), "Packer");
  StartWith("", "_Config");
  EXPECT_EQ(rt::GetOCXName(), "");
  StartWith("", "Short");
  EXPECT_EQ(rt::GetOCXName(), "");
}

}  // namespace
