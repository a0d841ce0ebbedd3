#include "runtime/errors.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "runtime/command_line.h"
#include "test_support.h"

namespace {

using platform::Answer;
using testsupport::StartAs;

class ErrorRoutine : public testing::Test {
 protected:
  testsupport::RuntimeState state;
  testsupport::TempTree tree;
  testsupport::BoxRecorder boxes;
};

TEST_F(ErrorRoutine, StandaloneLogsBesideProgramFolderAndAsksToResume) {
  tree.MakeFolder("Korvex/Start");
  StartAs("");
  boxes.answers = {Answer::Yes};
  EXPECT_EQ(rt::ErrorSub(53, "Start_Config_Exe", "File not found", "CopyFiles", false), 2);
  EXPECT_EQ(tree.Read("Korvex/KVXcfglog.txt"),
            "Fehler in Start / Start_Config_Exe / CopyFiles (Nr. 53) :File not found\r\n");
  ASSERT_EQ(boxes.boxes.size(), 1u);
  const platform::MessageBox& box = boxes.boxes[0];
  EXPECT_EQ(box.title, "Unexpected error");
  EXPECT_EQ(box.text,
            "Unexpected error!\n\rFile not found\n\rError logged to \n\rC:\\KORVEX\\KVXCFGLOG.TXT"
            "\n\rResume?");
  EXPECT_EQ(box.buttons, platform::Buttons::YesNo);
  EXPECT_EQ(box.icon, platform::Icon::Stop);
  EXPECT_EQ(platform::DefaultAnswer(box), Answer::Yes);

  boxes.answers = {Answer::No};
  EXPECT_EQ(rt::ErrorSub(-5, "", "", "P", false), 1);
  EXPECT_EQ(tree.Read("Korvex/KVXcfglog.txt"),
            "Fehler in Start / Start_Config_Exe / CopyFiles (Nr. 53) :File not found\r\n"
            "Fehler in Start /  / P (Nr. -5) :\r\n");
}

TEST_F(ErrorRoutine, DriveRootProgramFolderLogsOnThatRoot) {
  StartAs("", "C:\\");
  rt::ErrorSub(5, "s", "d", "p", false);
  EXPECT_EQ(tree.Read("KVXcfglog.txt"), "Fehler in Start / s / p (Nr. 5) :d\r\n");
}

TEST_F(ErrorRoutine, IntegratedLogsToTheLogfileOption) {
  tree.MakeFolder("Log");
  StartAs("/EXTERNAL=KVXCFG /LOGFILE=C:\\Log\\cfg.txt");
  rt::ErrorSub(6, "Start_Config_Exe", "Overflow", "LoadIniInteger", false);
  EXPECT_EQ(tree.Read("Log/CFG.TXT"),
            "Fehler in Start / Start_Config_Exe / LoadIniInteger (Nr. 6) :Overflow\r\n");
  EXPECT_NE(boxes.boxes.at(0).text.find("Error logged to \n\rC:\\LOG\\CFG.TXT\n\r"),
            std::string::npos);
}

TEST_F(ErrorRoutine, SilentModeWritesServicePackLogAndNeverShowsABox) {
  tree.MakeFolder("Korvex/Start");
  StartAs("/EXTERNAL=SILENT");
  EXPECT_EQ(rt::ErrorSub(53, "S", "File not found", "P", false), 2);
  EXPECT_EQ(rt::ErrorSub(53, "S", "File not found", "P", true), 2);
  EXPECT_TRUE(boxes.boxes.empty());
  const std::string entry =
      "! Fault Start_Config: Unexpected error!\n\rFile not found\n\rError logged to "
      "\n\rC:\\KORVEX\\KVXCFGLOG.TXT\r\n";
  EXPECT_EQ(tree.Read("TarvelServicePack.log"), entry + entry);
  rt::ReportFault("Ini Save:  wrong data type");
  EXPECT_EQ(tree.Read("TarvelServicePack.log"),
            entry + entry + "! Fault Start_Config: Ini Save:  wrong data type\r\n");
}

TEST_F(ErrorRoutine, FatalShowsOkBoxAndEnds) {
  StartAs("");
  EXPECT_EQ(rt::ErrorSub(5, "S", "D", "P", true), 1);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].title, "Fatal error");
  EXPECT_EQ(boxes.boxes[0].buttons, platform::Buttons::OK);
  EXPECT_EQ(boxes.boxes[0].text.find("Resume?"), std::string::npos);
}

TEST_F(ErrorRoutine, UnwritableLogsAreSkipped) {
  // Missing folder, empty LOGFILE, read-only file: the entry is skipped, the
  // question still comes, nothing throws.
  StartAs("/EXTERNAL=KVXCFG /LOGFILE=C:\\Missing\\x.txt");
  EXPECT_EQ(rt::ErrorSub(5, "S", "D", "P", false), 2);
  StartAs("/EXTERNAL=KVXCFG /LOGFILE=");
  EXPECT_EQ(rt::ErrorSub(5, "S", "D", "P", false), 2);
  tree.Write("ro.txt", "old\r\n");
  chmod(tree.Host("ro.txt").c_str(), 0444);
  StartAs("/EXTERNAL=KVXCFG /LOGFILE=C:\\ro.txt");
  EXPECT_EQ(rt::ErrorSub(5, "S", "D", "P", false), 2);
  EXPECT_EQ(tree.Read("ro.txt"), "old\r\n");
  EXPECT_EQ(boxes.boxes.size(), 3u);
  EXPECT_FALSE(tree.Exists("Missing"));
}

TEST_F(ErrorRoutine, WriteErrorLogWithNotice) {
  tree.MakeFolder("Korvex/Start");
  StartAs("");
  EXPECT_EQ(rt::WriteErrorLog("Konfigurations-EXE wurde abgebrochen:     Start", true), "");
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].title, "Start_Config");
  EXPECT_EQ(boxes.boxes[0].text, "Error logged to \n\rC:\\KORVEX\\KVXCFGLOG.TXT");
  EXPECT_EQ(rt::WriteErrorLog("x", false), "Error logged to \n\rC:\\KORVEX\\KVXCFGLOG.TXT");
  EXPECT_EQ(tree.Read("Korvex/KVXcfglog.txt"),
            "Konfigurations-EXE wurde abgebrochen:     Start\r\nx\r\n");
}

TEST_F(ErrorRoutine, LogLinesAreWrittenInTheAnsiCodePage) {
  tree.MakeFolder("Korvex/Start");
  StartAs("");
  rt::WriteErrorLog("Maschinenabhängig \xE2\x82\xAC \xE4\xB8\xAD", false);  // ä, euro, a CJK sign
  EXPECT_EQ(tree.Read("Korvex/KVXcfglog.txt"), "Maschinenabh\xE4ngig \x80 ?\r\n");
}

TEST_F(ErrorRoutine, TrapContinuesWithTheNextStatementOrEnds) {
  tree.MakeFolder("Korvex/Start");
  StartAs("");
  const rt::Trap step("Demo");
  int reached = 0;
  std::string value = "kept";
  boxes.answers = {Answer::Yes, Answer::Yes};
  step([&] { platform::Raise(53); });
  step([&] { ++reached; });
  step([&] {
    platform::Raise(70);
    value = "lost";
  });
  step([&] { ++reached; });
  EXPECT_EQ(reached, 2);
  EXPECT_EQ(value, "kept");
  EXPECT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(tree.Read("Korvex/KVXcfglog.txt"),
            "Fehler in Start / Start_Config_Exe / Demo (Nr. 53) :File not found\r\n"
            "Fehler in Start / Start_Config_Exe / Demo (Nr. 70) :Permission denied\r\n");
  EXPECT_EXIT(
      {
        boxes.answers = {Answer::No};
        step([&] { platform::Raise(53); });
        std::exit(0);  // not reached: the answer No ends the program
      },
      testing::ExitedWithCode(1), "");
}

}  // namespace
