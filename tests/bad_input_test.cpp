// Malformed installations and scripts: the step must give the documented
// result, never crash, and lose nothing.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "e2e_support.h"

namespace {

using testsupport::Installation;
using testsupport::TempTree;

// A literal's bytes, NUL bytes inside included.
template <size_t N>
std::string Bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

TEST(BadInput, JunkConfigurationLongAndSurplusMachineNames) {
  TempTree tree;
  Installation install(tree);
  install.Prepare({"x"});
  // Binary junk around the entries, a 300-character name, seven names.
  const std::string longName(300, 'L');
  std::string ini = Bytes("\x01\x02garbage\0\xff\r\n") + "[Common]\r\n";
  ini += "NameM1=" + longName + "\r\nNameM2=Pa=ck;er\r\nNameM3=C\r\nNameM4=D\r\nNameM5=E\r\n";
  ini += "NameM6=F\r\nNameM7=G\r\nMonitorRes=12abc\r\n]\r\n;[Common]\r\n";
  install.Write("parameter/kvxconfiguration.ini", ini);
  const auto run = install.Run(install.Integrated(), "dump\n");
  EXPECT_EQ(run.status, 3) << run.errors;
  // Names are cut to the read buffer; the sixth and seventh are never read.
  EXPECT_NE(run.transcript.find("LabelSpeedFactor(1) Label visible=1 shown=1 enabled=1 caption=\"" +
                                std::string(254, 'L') + "\""),
            std::string::npos);
  EXPECT_NE(run.transcript.find("caption=\"Pa=ck;er\""), std::string::npos);
  EXPECT_NE(run.transcript.find("LabelSpeedFactor(5) Label visible=1"), std::string::npos);
  EXPECT_EQ(testsupport::Count(run.transcript, "msgbox"), 0u);
  EXPECT_EQ(install.Read("parameter/kvxconfiguration.ini").substr(0, 13),
            Bytes("\x01\x02garbage\0\xff\r\n"));
}

TEST(BadInput, CfgThatIsAFolderOrJunk) {
  TempTree tree;
  Installation install(tree);
  install.Prepare({"Filler"});
  // Junk that holds no [Project] section: no machine is valid, no row shown.
  install.Write("Start/Start.cfg", Bytes("\0\0\xfe[Proj\r\nValidMachines=ALL"));
  auto run = install.Run(install.Integrated(), "dump\n");
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.transcript.find("TextSpeedFactor(1) TextBox visible=0"), std::string::npos);

  // A folder where the CFG file belongs is no file: the step ends.
  std::filesystem::remove(tree.Host("Korvex/Start/Start.cfg"));
  tree.MakeFolder("Korvex/Start/Start.cfg");
  run = install.Run(install.Integrated(), "dump\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.transcript.find("text=\"File not found: <LF><CR>C:\\KORVEX\\START\\START.CFG\""),
            std::string::npos);
  EXPECT_EQ(run.transcript.find("window shown"), std::string::npos);
}

TEST(BadInput, ReadOnlyJunkLanguageFileStaysAsItWas) {
  TempTree tree;
  Installation install(tree);
  install.Prepare({"Filler"});
  const std::string junk = Bytes("[Language]\r\nLanguage=1031\r\n[1031]\r\n\xff\x00\x01=") +
                           "\r\nCaption_LabelSupplier_NoTTT=Hersteller\r\n";
  install.Write("Start/Start_Config.ini", junk);
  chmod(tree.Host("Korvex/Start/Start_Config.ini").c_str(), 0444);
  const auto run = install.Run(install.Integrated(), "dump\n");
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(
      run.transcript.find("LabelSupplier Label visible=1 shown=1 enabled=1 caption=\"Hersteller\""),
      std::string::npos);
  EXPECT_EQ(install.Read("Start/Start_Config.ini"), junk);
}

TEST(BadInput, UnreadableExecutableFolderStillStarts) {
  TempTree tree;
  Installation install(tree);
  install.Prepare({"Filler"});
  chmod(tree.Host("Korvex/Start").c_str(), 0311);
  const auto run = install.Run(install.Integrated(), "dump\n");
  chmod(tree.Host("Korvex/Start").c_str(), 0755);
  EXPECT_EQ(run.status, 3) << run.errors;
  EXPECT_NE(run.transcript.find("window shown"), std::string::npos);
}

TEST(BadInput, MalformedScriptStopsBeforeAnythingIsWritten) {
  TempTree tree;
  Installation install(tree);
  install.Prepare({"Filler"});
  install.Write("parameter/Program.ini", "[Project]\r\n");
  for (const char* script :
       {"dump\nfrobnicate CommandOK\n", "dump\nclick NoSuchControl\n", "dump\nanswer Maybe\n",
        "dump\ntext CommandOK 12\n", "dump\ncaret TextSpeedFactor(1) x\n"}) {
    const auto run = install.Run(install.Integrated(), script);
    EXPECT_EQ(run.status, 1) << script;
    EXPECT_NE(run.errors.find("script line 2: "), std::string::npos) << run.errors;
    EXPECT_EQ(run.transcript, "");
    EXPECT_EQ(install.Read("parameter/Program.ini"), "[Project]\r\n");
    EXPECT_FALSE(install.Exists("Start/Start_Config.ini"));
  }
  // An entry the list does not have is found only while running: the script
  // stops there, with nothing more written.
  const auto run = install.Run(install.Integrated(), "select ComboSupplier Nobody\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.errors.find("script line 1: ComboSupplier has no entry \"Nobody\""),
            std::string::npos);
}

TEST(BadInput, ExecutableUnderNoDriveIsAClearStartUpError) {
  TempTree tree;
  Installation install(tree);
  install.Prepare({"Filler"});
  testsupport::ScopedEnv drives("KORVEX_DRIVES", "D=/nonexistent-korvex-drive;C=/nonexistent");
  const auto unmapped = install.Run(install.Integrated(), "dump\n");
  EXPECT_EQ(unmapped.status, 1);
  EXPECT_NE(unmapped.errors.find("lies under no drive"), std::string::npos) << unmapped.errors;
  EXPECT_EQ(unmapped.transcript, "");
}

}  // namespace
