// Start-up of the window: who may start it, what the set-up fills in, and what
// every start appends to Program.ini.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "form/start_config_form.h"
#include "platform/process.h"
#include "runtime/command_line.h"
#include "runtime/config_paths.h"
#include "runtime/ini_access.h"
#include "test_support.h"

namespace {

using testsupport::Installation;
using testsupport::TempTree;
using Machines = std::vector<std::string>;

// A 1 x 1 pixel 24-bit bitmap: the maker's logo must load without a report.
std::string TinyBitmap() {
  std::string b = "BM";
  auto le = [&b](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  le(58, 4), le(0, 4), le(54, 4);                      // file header
  le(40, 4), le(1, 4), le(1, 4), le(1, 2), le(24, 2);  // info header
  le(0, 4), le(4, 4), le(2835, 4), le(2835, 4), le(0, 4), le(0, 4);
  le(0, 4);  // the pixel, padded to four bytes
  return b;
}

// The dump line of a control ("  ComboSupplier ComboBox ..."), from the last
// dump of the transcript.
std::string DumpLine(const std::string& transcript, const std::string& control) {
  const std::string key = "\n  " + control + " ";
  const size_t at = transcript.rfind(key);
  if (at == std::string::npos) return "<no dump of " + control + ">";
  return transcript.substr(at + 3, transcript.find('\n', at + 1) - at - 3);
}

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class StartupE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    inst.Configure({"Filler", "Packer"});
    inst.ValidMachines("ALL");
    inst.Write("Start/Start_Logo.bmp", TinyBitmap());
  }
  TempTree tree;
  Installation inst{tree};
};

TEST_F(StartupE2E, SpeedFactorRowsFollowTheValidMachines) {
  // Two machines, all valid.
  auto run = inst.Run(inst.Integrated(), "dump\n");
  EXPECT_EQ(run.status, 3) << run.errors;
  EXPECT_EQ(run.transcript.substr(0, run.transcript.find("\n> dump")),
            "window shown caption=\"Erweiterte Konfiguration Start - integriert\"");
  EXPECT_EQ(DumpLine(run.transcript, "LabelSpeedFactor(1)"),
            "LabelSpeedFactor(1) Label visible=1 shown=1 enabled=1 caption=\"Filler\"");
  EXPECT_EQ(DumpLine(run.transcript, "TextSpeedFactor(2)"),
            "TextSpeedFactor(2) TextBox visible=1 shown=1 enabled=1 text=\"\"");
  EXPECT_EQ(DumpLine(run.transcript, "LabelSpeedFactor(3)"),
            "LabelSpeedFactor(3) Label visible=0 shown=0 enabled=1 caption=\"M\"");
  EXPECT_EQ(DumpLine(run.transcript, "TextSpeedFactor(3)"),
            "TextSpeedFactor(3) TextBox visible=0 shown=0 enabled=1 text=\"\"");
  // The window as the start leaves it: browser shown, no copy, OK disabled.
  EXPECT_NE(DumpLine(run.transcript, "FramePathSelect").find("shown=1"), std::string::npos);
  EXPECT_NE(DumpLine(run.transcript, "FrameCopyPath").find("shown=1"), std::string::npos);
  EXPECT_NE(DumpLine(run.transcript, "ComboSupplier").find("enabled=1"), std::string::npos);
  EXPECT_NE(DumpLine(run.transcript, "CommandOK").find("enabled=0"), std::string::npos);
  EXPECT_NE(DumpLine(run.transcript, "ListSAR").find("list=[]"), std::string::npos);
  EXPECT_NE(DumpLine(run.transcript, "CheckTimeChanging").find("value=1"), std::string::npos);
  EXPECT_NE(
      DumpLine(run.transcript, "ComboDateFormat").find("list=[*MM-TT-JJJJ|TT.MM.JJJJ|JJJJ/MM/TT]"),
      std::string::npos);
  EXPECT_NE(DumpLine(run.transcript, "ComboSteuerung").find("list=[*Beckhoff|Siemens]"),
            std::string::npos);
  // The start connects no copy and says so in the configuration tool's INI.
  EXPECT_EQ(inst.Read("parameter/kvxconfiguration.ini"),
            "[Common]\r\nNameM1=Filler\r\nNameM2=Packer\r\nMonitorRes=1024\r\nVWStudio=False\r\n"
            "SaveAndRestore=\r\n");

  // Five machines, of which the text names two (and "Pack" is found inside
  // "Packer" as well: the rule is a text search).
  inst.Configure({"Filler", "Pack", "Capper", "Packer", "Wrapper"});
  inst.ValidMachines("packer, Wrapper");
  run = inst.Run(inst.Integrated(), "dump\n");
  EXPECT_EQ(run.status, 3);
  const bool shown[] = {false, false, true, false, true, true};
  for (int i = 1; i <= 5; ++i) {
    const std::string label =
        DumpLine(run.transcript, "LabelSpeedFactor(" + std::to_string(i) + ")");
    const std::string box = DumpLine(run.transcript, "TextSpeedFactor(" + std::to_string(i) + ")");
    EXPECT_EQ(label.find("visible=1") != std::string::npos, shown[i]) << label;
    EXPECT_EQ(box.find("visible=1") != std::string::npos, shown[i]) << box;
  }
  EXPECT_NE(DumpLine(run.transcript, "LabelSpeedFactor(5)").find("caption=\"Wrapper\""),
            std::string::npos);
}

TEST_F(StartupE2E, NoMachinesReportsTheCountOnceAndShowsNoRow) {
  inst.Configure({});
  auto run = inst.Run(inst.Integrated() + " /LOGFILE=C:\\ERR.LOG", "dump\n");
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(Count(run.transcript, "msgbox "), 1u) << run.transcript;
  EXPECT_NE(run.transcript.find("Subscript out of range"), std::string::npos);
  EXPECT_EQ(tree.Read("ERR.LOG"),
            "Fehler in Start / Start_Config_Exe / SetupUserInterFace (Nr. 9) :Subscript out of "
            "range\r\n");
  for (int i = 1; i <= 5; ++i)
    EXPECT_NE(
        DumpLine(run.transcript, "TextSpeedFactor(" + std::to_string(i) + ")").find("visible=0"),
        std::string::npos);
  // The set-up went on after the report.
  EXPECT_NE(DumpLine(run.transcript, "ComboSteuerung").find("list=[*Beckhoff|Siemens]"),
            std::string::npos);
}

TEST_F(StartupE2E, SupplierListComesFromTheLogoFilesBesideTheExecutable) {
  inst.Write("Start/START_ACMELOGO.BMP", "");
  inst.Write("Start/start_bravoLogo.bmp", "");
  inst.Write("Start/XSTART_AcmeLOGO.BMP", "");           // both texts occur; cut by position
  inst.Write("Start/Start_Acme.bmp", "");                // no "LOGO.BMP"
  inst.Write("Start/AcmeLogo.bmp", "");                  // no "START_"
  tree.MakeFolder("Korvex/Start/Start_FolderLogo.bmp");  // a folder, no file
  tree.Write("Korvex/Start_OtherLogo.bmp", "");          // installation folder: not looked at
  auto run = inst.Run(inst.Integrated(), "dump\n");
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(Count(run.transcript, "msgbox "), 0u) << run.transcript;
  EXPECT_EQ(DumpLine(run.transcript, "ComboSupplier"),
            "ComboSupplier ComboBox visible=1 shown=1 enabled=1 "
            "list=[***Tarvel & Co**|ACME|bravo|_Acme]");
}

TEST_F(StartupE2E, OnlyTheConfigurationToolMayStartTheStep) {
  const std::string kvx = inst.Read("parameter/kvxconfiguration.ini");
  for (const std::string commandLine : {"", "/EXTERNAL=SILENT", "/EXTERNAL=OTHER"}) {
    auto run = inst.Run(commandLine, "dump\n");
    EXPECT_EQ(run.status, 1) << commandLine;
    EXPECT_EQ(run.errors,
              "Start_Config: not started by the configuration tool; it runs when started with "
              "/EXTERNAL=KVXCFG\n");
    EXPECT_EQ(run.transcript.find("window shown"), std::string::npos);
    EXPECT_EQ(run.transcript, "process ended with status 1\n");
    // Only the language file is seeded; nothing else is written.
    EXPECT_TRUE(inst.Exists("Start/Start_Config.ini"));
    EXPECT_FALSE(inst.Exists("parameter/Program.ini"));
    EXPECT_EQ(inst.Read("parameter/kvxconfiguration.ini"), kvx);
    EXPECT_FALSE(tree.Exists("TarvelServicePack.log"));
  }
}

TEST_F(StartupE2E, MissingCfgFileEndsBeforeTheWindowAndWritesNoProgramIni) {
  std::filesystem::remove(tree.Host("Korvex/Start/Start.cfg"));
  auto run = inst.Run(inst.Integrated(), "dump\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.transcript,
            "msgbox title=\"Start_Config\" icon=stop buttons=OK default=OK\n"
            "  text=\"File not found: <LF><CR>C:\\KORVEX\\START\\START.CFG\"\n"
            "  answer=OK (default)\n"
            "process ended with status 1\n");
  EXPECT_FALSE(inst.Exists("parameter/Program.ini"));
}

TEST_F(StartupE2E, EveryStartAppendsOneProjectHeaderOnItsOwnLine) {
  // Created when missing; one more header per start.
  EXPECT_EQ(inst.Run(inst.Integrated(), "").status, 3);
  EXPECT_EQ(inst.Run(inst.Integrated(), "").status, 3);
  EXPECT_EQ(inst.Read("parameter/Program.ini"), "[Project]\r\n[Project]\r\n");

  // A last entry without its line break keeps its value.
  inst.Write("parameter/Program.ini", "[Machine1]\r\nSpeedFactor=3");
  EXPECT_EQ(inst.Run(inst.Integrated(), "").status, 3);
  EXPECT_EQ(inst.Read("parameter/Program.ini"), "[Machine1]\r\nSpeedFactor=3\r\n[Project]\r\n");
  EXPECT_EQ(rt::LoadIniString("Machine1", "SpeedFactor", "C:\\Korvex\\parameter\\Program.ini"),
            "3");
  // Lines that end in LF or CR alone get no extra break.
  for (const std::string last : {"\n", "\r"}) {
    inst.Write("parameter/Program.ini", "[Project]\r\nControl=1" + last);
    EXPECT_EQ(inst.Run(inst.Integrated(), "").status, 3);
    EXPECT_EQ(inst.Read("parameter/Program.ini"),
              "[Project]\r\nControl=1" + last + "[Project]\r\n");
  }
}

TEST_F(StartupE2E, MissingParameterFolderIsReportedAndTheSetUpGoesOn) {
  std::filesystem::remove_all(tree.Host("Korvex/parameter"));
  auto run = inst.Run(inst.Integrated() + " /LOGFILE=C:\\ERR.LOG", "dump\n");
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(run.transcript.find("window shown"), std::string::npos);
  const std::string log = tree.Read("ERR.LOG");
  EXPECT_NE(log.find("/ InitProgramIni (Nr. 76) :"), std::string::npos) << log;
  EXPECT_FALSE(inst.Exists("parameter"));  // no folder is ever created
  EXPECT_NE(DumpLine(run.transcript, "ComboDateFormat").find("*MM-TT-JJJJ"), std::string::npos);
}

// In-process: the form variables and the visualisation version.
class StartupInProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    inst.ValidMachines("ALL");
    inst.Write("Start/Start_Logo.bmp", TinyBitmap());
    rt::ExistingMachines.clear();
  }
  void TearDown() override {
    rt::ExistingMachines.clear();
    rt::IntegratedMode = false;
    rt::SilentMode = false;
  }
  std::unique_ptr<frm_Start_Config_Exe> Load(const std::string& monitorRes,
                                             const std::string& vwStudio) {
    inst.Configure({"Filler"}, monitorRes, vwStudio);
    platform::SetProcessForTesting("/EXTERNAL=KVXCFG", "C:\\Korvex\\Start", "Start_Config");
    rt::ExistingMachines.clear();
    auto form = std::make_unique<frm_Start_Config_Exe>();
    form->Form_Load();
    return form;
  }
  TempTree tree;
  Installation inst{tree};
  testsupport::BoxRecorder boxes;
};

TEST_F(StartupInProcess, VisualisationVersionDecidesTheDatabaseRows) {
  struct Case {
    const char* vwStudio;
    int16_t version;
  };
  for (const Case c : {Case{"", 0}, Case{"-1", 0}, Case{"False", 1}, Case{"false", 1},
                       Case{"TRUE", 2}, Case{"True", 2}, Case{"yes", 0}}) {
    auto form = Load("1024", c.vwStudio);
    EXPECT_EQ(form->VisuVersion, c.version) << c.vwStudio;
    const bool studio = c.version == 2;
    EXPECT_EQ(form->LabelVisuVersion->Caption(), studio ? "VWStudio" : "VisiWin");
    EXPECT_EQ(form->CommandPath[0]->Caption(), studio ? "Korvex.vws" : "Korvex.mdb");
    EXPECT_EQ(form->CommandPath[1]->Visible(), !studio);
    EXPECT_EQ(form->TextPath[1]->Visible(), !studio);
    EXPECT_TRUE(form->TextPath[2]->Visible());
    EXPECT_EQ(form->GetVisuVersion(), c.version);
  }
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(StartupInProcess, FormVariablesAfterTheStart) {
  auto form = Load("1024", "False");
  EXPECT_EQ(form->MonitorResolution, "1024");
  EXPECT_EQ(form->ConfigurationIniPath, "C:\\Korvex\\parameter\\kvxconfiguration.ini");
  EXPECT_EQ(form->window.Caption(), "Erweiterte Konfiguration Start - integriert");
  ASSERT_EQ(rt::ExistingMachines.size(), 2u);
  // The takeover values wait for a copy.
  EXPECT_EQ(form->NumberOfRejects, 0);
  EXPECT_EQ(form->NumberOfAlarms, 0);
  EXPECT_EQ(form->NumberOfWarnings, 0);
  EXPECT_FALSE(form->FaultWithMachineNumber);
  EXPECT_EQ(form->SARVisuVersion, 0);
  EXPECT_EQ(SarFolder, "");

  form.reset();              // the texts go to the first loaded window
  form = Load("", "False");  // a missing resolution reads as -1
  EXPECT_EQ(form->MonitorResolution, "-1");
  EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
