// Start-up of the window: who may start it, what the set-up fills in, and what
// every start appends to Program.ini.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "e2e_support.h"
#include "form/start_config_form.h"
#include "runtime/command_line.h"
#include "runtime/config_paths.h"
#include "runtime/ini_access.h"

namespace {

using testsupport::ExpectDump;
using testsupport::Installation;
using testsupport::TempTree;

class StartupE2E : public ::testing::Test {
 protected:
  void SetUp() override { inst.Prepare({"Filler", "Packer"}); }
  TempTree tree;
  Installation inst{tree};
};

TEST_F(StartupE2E, WindowAsTheStartLeavesIt) {
  auto run = inst.Run(inst.Integrated(), "dump\n");
  EXPECT_EQ(run.status, 3) << run.errors;
  EXPECT_EQ(run.transcript.substr(0, run.transcript.find('\n')),
            "window shown caption=\"Erweiterte Konfiguration Start - integriert\"");
  ExpectDump(run.transcript,
             {{"LabelSpeedFactor(1)", "visible=1 shown=1 enabled=1 caption=\"Filler\""},
              {"TextSpeedFactor(2)", "visible=1 shown=1 enabled=1 text=\"\""},
              {"LabelSpeedFactor(3)", "visible=0"},
              {"TextSpeedFactor(3)", "visible=0"},
              {"FramePathSelect", "shown=1"},
              {"FrameCopyPath", "shown=1"},
              {"ComboSupplier", "enabled=1 list=[***Tarvel & Co**]"},
              {"ComboDateFormat", "list=[*MM-TT-JJJJ|TT.MM.JJJJ|JJJJ/MM/TT]"},
              {"ComboSteuerung", "enabled=1 list=[*Beckhoff|Siemens]"},
              {"CheckTimeChanging", "value=1"},
              {"CommandOK", "enabled=0"},
              {"ListSAR", "list=[]"}});
  // No copy connected, and the tool's INI says so; the script ends with the
  // window open, which leaves the cancel mark.
  EXPECT_EQ(inst.Read("parameter/kvxconfiguration.ini"),
            "[Common]\r\nNameM1=Filler\r\nNameM2=Packer\r\nMonitorRes=1024\r\nVWStudio=False\r\n"
            "SaveAndRestore=\r\nConfigExeCancel=Start_Config\r\n");

  // Five machines, two named ("Pack" is found inside "packer" too: a text search).
  inst.Configure({"Filler", "Pack", "Capper", "Packer", "Wrapper"});
  inst.ValidMachines("packer, Wrapper");
  run = inst.Run(inst.Integrated(), "dump\n");
  ExpectDump(run.transcript,
             {{"TextSpeedFactor(1)", "visible=0"},
              {"TextSpeedFactor(2)", "visible=1"},
              {"LabelSpeedFactor(3)", "visible=0"},
              {"TextSpeedFactor(4)", "visible=1"},
              {"LabelSpeedFactor(5)", "visible=1 shown=1 enabled=1 caption=\"Wrapper\""}});

  // No machine at all: the count fails once, is reported, no row is shown.
  inst.Configure({});
  run = inst.Run(inst.Integrated() + " /LOGFILE=C:\\ERR.LOG", "dump\n");
  EXPECT_EQ(run.transcript.find("msgbox"), run.transcript.rfind("msgbox"));
  EXPECT_EQ(tree.Read("ERR.LOG"),
            "Fehler in Start / Start_Config_Exe / SetupUserInterFace (Nr. 9) :Subscript out of "
            "range\r\nKonfigurations-EXE wurde abgebrochen:     Start\r\n");
  ExpectDump(run.transcript, {{"TextSpeedFactor(1)", "visible=0"},
                              {"LabelSpeedFactor(2)", "visible=0"},
                              {"ComboSteuerung", "list=[*Beckhoff|Siemens]"}});
}

TEST_F(StartupE2E, SupplierListComesFromTheLogoFilesBesideTheExecutable) {
  for (const char* name : {"START_ACMELOGO.BMP", "start_bravoLogo.bmp",
                           "XSTART_AcmeLOGO.BMP",  // both texts occur; cut by position
                           "Start_Acme.bmp", "AcmeLogo.bmp"})
    inst.Write(std::string("Start/") + name, "");
  tree.MakeFolder("Korvex/Start/Start_FolderLogo.bmp");  // a folder
  tree.Write("Korvex/Start_OtherLogo.bmp", "");          // the installation folder
  auto run = inst.Run(inst.Integrated(), "dump\n");
  EXPECT_EQ(run.transcript.find("msgbox"), std::string::npos) << run.transcript;
  ExpectDump(run.transcript, {{"ComboSupplier", "list=[***Tarvel & Co**|ACME|bravo|_Acme]"}});
}

TEST_F(StartupE2E, StartsThatEndBeforeTheWindow) {
  const std::string kvx = inst.Read("parameter/kvxconfiguration.ini");
  for (const std::string commandLine : {"", "/EXTERNAL=SILENT", "/EXTERNAL=OTHER"}) {
    auto run = inst.Run(commandLine, "dump\n");
    EXPECT_EQ(run.status, 1) << commandLine;
    EXPECT_EQ(run.errors,
              "Start_Config: not started by the configuration tool; it runs when started with "
              "/EXTERNAL=KVXCFG\n");
    EXPECT_EQ(run.transcript, "process ended with status 1\n");
    // The language file is seeded; nothing else is written.
    EXPECT_TRUE(inst.Exists("Start/Start_Config.ini"));
    EXPECT_FALSE(inst.Exists("parameter/Program.ini"));
    EXPECT_EQ(inst.Read("parameter/kvxconfiguration.ini"), kvx);
    EXPECT_FALSE(tree.Exists("TarvelServicePack.log"));
  }

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
  inst.Run(inst.Integrated(), "");
  inst.Run(inst.Integrated(), "");
  EXPECT_EQ(inst.Read("parameter/Program.ini"), "[Project]\r\n[Project]\r\n");

  // A last entry without its line break keeps its value; LF or CR alone count.
  for (const std::string last : {"", "\n", "\r"}) {
    inst.Write("parameter/Program.ini", "[Machine1]\r\nSpeedFactor=3" + last);
    inst.Run(inst.Integrated(), "");
    EXPECT_EQ(inst.Read("parameter/Program.ini"),
              "[Machine1]\r\nSpeedFactor=3" + (last.empty() ? "\r\n" : last) + "[Project]\r\n");
    EXPECT_EQ(rt::LoadIniString("Machine1", "SpeedFactor", "C:\\Korvex\\parameter\\Program.ini"),
              "3");
  }

  // Without the parameter folder: reported, no folder created, the set-up goes on.
  std::filesystem::remove_all(tree.Host("Korvex/parameter"));
  auto run = inst.Run(inst.Integrated() + " /LOGFILE=C:\\ERR.LOG", "dump\n");
  EXPECT_EQ(run.status, 3);
  EXPECT_NE(tree.Read("ERR.LOG").find("/ InitProgramIni (Nr. 75) :"), std::string::npos);
  EXPECT_FALSE(inst.Exists("parameter"));
  ExpectDump(run.transcript, {{"ComboDateFormat", "list=[*MM-TT-JJJJ"}});
}

TEST(StartupInProcess, VisualisationVersionAndFormVariables) {
  testsupport::RuntimeState state;
  TempTree tree;
  Installation inst(tree);
  testsupport::BoxRecorder boxes;
  inst.Prepare({"Filler"});
  struct Case {
    const char* vwStudio;
    const char* monitorRes;
    int16_t version;
  };
  for (const Case c :
       {Case{"", "1024", 0}, Case{"-1", "", 0}, Case{"False", "1024", 1}, Case{"false", "1024", 1},
        Case{"TRUE", "1024", 2}, Case{"True", "1024", 2}, Case{"yes", "1024", 0}}) {
    inst.Configure({"Filler"}, c.monitorRes, c.vwStudio);
    testsupport::SetProcess("/EXTERNAL=KVXCFG");
    rt::ExistingMachines.clear();
    frm_Start_Config_Exe form;
    form.Form_Load();
    EXPECT_EQ(form.VisuVersion, c.version) << c.vwStudio;
    EXPECT_EQ(form.GetVisuVersion(), c.version);
    const bool studio = c.version == 2;
    EXPECT_EQ(form.LabelVisuVersion->Caption(), studio ? "VWStudio" : "VisiWin");
    EXPECT_EQ(form.CommandPath[0]->Caption(), studio ? "Korvex.vws" : "Korvex.mdb");
    EXPECT_EQ(form.CommandPath[1]->Visible(), !studio);
    EXPECT_EQ(form.TextPath[1]->Visible(), !studio);
    EXPECT_EQ(form.MonitorResolution, *c.monitorRes ? "1024" : "-1");
    EXPECT_EQ(form.ConfigurationIniPath, "C:\\Korvex\\parameter\\kvxconfiguration.ini");
    // The takeover values wait for a copy.
    EXPECT_EQ(form.NumberOfRejects + form.NumberOfAlarms + form.NumberOfWarnings, 0);
    EXPECT_FALSE(form.FaultWithMachineNumber);
    EXPECT_EQ(SarFolder, "");
  }
  EXPECT_TRUE(boxes.boxes.empty());
}

}  // namespace
