#include "runtime/ini_access.h"

#include <gtest/gtest.h>

#include "runtime/command_line.h"
#include "test_support.h"

namespace {

using platform::Answer;

class IniAccess : public testing::Test {
 protected:
  void SetUp() override {
    testsupport::SetProcess("");
    tree.MakeFolder("Korvex/Start");
  }
  testsupport::RuntimeState state;
  testsupport::TempTree tree;
  testsupport::BoxRecorder boxes;
  const std::string ini = "C:\\Korvex\\parameter\\Program.ini";
};

TEST_F(IniAccess, StringsAreCutTo254Characters) {
  tree.Write("Korvex/parameter/Program.ini",
             "[Project]\r\nLong=" + std::string(300, 'x') + "\r\nEmpty=\r\nSpaced=  a b  \r\n");
  EXPECT_EQ(rt::LoadIniString("Project", "Long", ini), std::string(254, 'x'));
  EXPECT_EQ(rt::LoadIniString("project", "spaced", ini), "a b");
  EXPECT_EQ(rt::LoadIniString("Project", "Empty", ini), "");
  EXPECT_EQ(rt::LoadIniString("Project", "Missing", ini), "");
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(IniAccess, NotFoundReportOnlyWhenAsked) {
  EXPECT_EQ(rt::LoadIniString("Project", "Supplier", "C:\\x.ini", true), "");
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text,
            "File 'C:\\x.ini' or Section [Project] or Entry 'Supplier' not found");
  EXPECT_EQ(boxes.boxes[0].title, "Start_Config");
  EXPECT_EQ(rt::LoadIniInteger("Project", "Control", "C:\\x.ini", true), -1);
  EXPECT_FALSE(rt::LoadIniBoolean("Project", "TimeChanging", "C:\\x.ini", true));
  EXPECT_EQ(boxes.boxes.size(), 3u);
  // In silent mode the report goes to the service-pack log.
  rt::SilentMode = true;
  rt::LoadIniString("Project", "Supplier", "C:\\x.ini", true);
  EXPECT_EQ(tree.Read("TarvelServicePack.log"),
            "! Fault Start_Config: File 'C:\\x.ini' or Section [Project] or Entry 'Supplier' not "
            "found\r\n");
  EXPECT_EQ(boxes.boxes.size(), 3u);
}

TEST_F(IniAccess, IntegersAndTheirOverflow) {
  tree.Write("Korvex/parameter/Program.ini",
             "[Project]\r\nA=12abc\r\nB=-1\r\nC=40000\r\nD=0x10\r\nE=x\r\nF=-32768\r\n");
  EXPECT_EQ(rt::LoadIniInteger("Project", "A", ini), 12);
  EXPECT_EQ(rt::LoadIniInteger("Project", "B", ini, true), -1);  // reads as missing
  EXPECT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(rt::LoadIniInteger("Project", "D", ini), 16);
  EXPECT_EQ(rt::LoadIniInteger("Project", "E", ini), 0);
  EXPECT_EQ(rt::LoadIniInteger("Project", "F", ini), -32768);
  EXPECT_EQ(rt::LoadIniInteger("Project", "Missing", ini), -1);
  boxes.answers = {Answer::Yes};
  EXPECT_EQ(rt::LoadIniInteger("Project", "C", ini), 0);
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[1].title, "Unexpected error");
  EXPECT_NE(boxes.boxes[1].text.find("Overflow"), std::string::npos);
  EXPECT_EQ(tree.Read("Korvex/KVXcfglog.txt"),
            "Fehler in Start / Start_Config_Exe / LoadIniInteger (Nr. 6) :Overflow\r\n");
}

TEST_F(IniAccess, BooleansAreTrueOnlyForTrue) {
  tree.Write("Korvex/parameter/Program.ini",
             "[Project]\r\na=true\r\nb=True\r\nc=TRUE\r\nd=-1\r\ne=1\r\nf=yes\r\ng=\r\n");
  for (const char* key : {"a", "b", "c"}) EXPECT_TRUE(rt::LoadIniBoolean("Project", key, ini));
  for (const char* key : {"d", "e", "f", "g", "h"})
    EXPECT_FALSE(rt::LoadIniBoolean("Project", key, ini)) << key;
  rt::LoadIniBoolean("Project", "d", ini, true);  // neither TRUE nor FALSE
  EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST_F(IniAccess, SaveWritesTypedValues) {
  tree.MakeFolder("Korvex/parameter");
  EXPECT_NE(rt::SaveIni(true, "Project", "Bool", ini), 0);
  rt::SaveIni(int16_t{-3}, "Project", "Int", ini);
  rt::SaveIni(int32_t{1024}, "Project", "Long", ini);
  rt::SaveIni(uint8_t{7}, "Project", "Byte", ini);
  rt::SaveIni(std::string(" padded "), "Project", "Text", ini);
  rt::SaveIni(0.25, "Project", "Double", ini);
  rt::SaveIni(0.1f, "Project", "Single", ini);
  rt::SaveIni(-2.5, "Project", "Negative", ini);
  EXPECT_EQ(tree.Read("Korvex/parameter/Program.ini"),
            "[Project]\r\nBool=true\r\nInt=-3\r\nLong=1024\r\nByte=7\r\nText= padded \r\n"
            "Double=.25\r\nSingle=.1\r\nNegative=-2.5\r\n");
}

TEST_F(IniAccess, WrongDataTypeIsReportedAndLeavesTheEntry) {
  tree.Write("Korvex/parameter/Program.ini", "[Project]\r\nWhen=old\r\n");
  EXPECT_EQ(rt::SaveIni(rt::UnsupportedValue{"Date"}, "Project", "When", ini), 0);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Ini Save:  wrong data type");
  EXPECT_EQ(tree.Read("Korvex/parameter/Program.ini"), "[Project]\r\nWhen=old\r\n");
}

TEST_F(IniAccess, FailedWritesReturnZeroWithoutMessage) {
  EXPECT_EQ(rt::SaveIni("x", "Project", "Key", "C:\\Missing\\Program.ini"), 0);
  tree.MakeFolder("Korvex/parameter");
  EXPECT_EQ(rt::SaveIni("C:\\Evil\r\n[Project]\r\nSupplier=Bad", "Common", "SaveAndRestore", ini),
            0);
  EXPECT_FALSE(tree.Exists("Korvex/parameter/Program.ini"));
  EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
