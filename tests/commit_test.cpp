// OK: the settings written to Program.ini, the presets file and the CFG stamp,
// the order of CloseMe, help mode, and whole scripted runs from start-up through
// an accepted Save & Restore copy to the end of the process.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "form/start_config_form.h"
#include "platform/process.h"
#include "runtime/command_line.h"
#include "runtime/config_paths.h"
#include "runtime/edit_info.h"
#include "runtime/help_mode.h"
#include "runtime/ini_access.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

const char* const kCommandLine =
    "/EXTERNAL=KVXCFG /LOGFILE=C:\\Korvex\\KVXLOG.TXT /SOURCEPATH=C:\\Source\\";
const std::string kMachines = "Source/Verschiedenes/Maschinenabhängig/";

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

struct ProjectValues {
  int machines = 0;
  std::string supplier;
  int control = 0, dateFormat = 0;
  bool timeChanging = false;
  std::string resolution = "1024";
  bool vwStudio = false;
  int rejects = 48, alarms = 256, warnings = 256;
  bool fault = false;
};

// The keys OK adds to a [Project] section, in the order they are written.
std::string ProjectKeys(const ProjectValues& v) {
  std::vector<std::string> l = {"NumberOfMachines=" + std::to_string(v.machines),
                                "Supplier=" + v.supplier,
                                "Control=" + std::to_string(v.control),
                                "DateFormat=" + std::to_string(v.dateFormat),
                                "MachineSelection=MachineSelection",
                                "ServicePicture=Service",
                                std::string("TimeChanging=") + (v.timeChanging ? "true" : "false")};
  for (int k = 1; k <= 4; ++k) l.push_back("Language" + std::to_string(k) + "=0");
  l.push_back("Resolution=" + v.resolution);
  for (int k = 1; k <= 5; ++k) l.push_back("OrderOfServiceCounter" + std::to_string(k) + "=0");
  if (v.vwStudio) l.push_back("VWStudio=True");
  l.push_back("NumberOfRejects=" + std::to_string(v.rejects));
  l.push_back("NumberOfAlarms=" + std::to_string(v.alarms));
  l.push_back("NumberOfWarnings=" + std::to_string(v.warnings));
  l.push_back(std::string("FaultWithMachineNumber=") + (v.fault ? "true" : "false"));
  return Lines(l);
}

std::string PasswordSections() {
  std::string text;
  for (int level = 1; level <= 5; ++level) {
    text += Lines({"[Password" + std::to_string(level) + "]",
                   "Word=" + (level < 5 ? std::to_string(level) : std::string("Z")),
                   std::string("Keyboard=") + (level < 5 ? "false" : "true"), "Key1=false",
                   "Key2=false", "Key3=false"});
  }
  return text;
}

std::string MachineSection(int n, const std::string& name, const std::string& factor) {
  return Lines({"[Machine" + std::to_string(n) + "]", "MachineName=" + name,
                "SpeedFactor=" + factor, "NumberOfCams=0", "NumberOfServos=0"});
}

std::string Stamp(const std::string& editorCode) {
  const platform::Version v = platform::ProgramVersion();
  return Lines({"[Info]",
                "S_Prog=" + std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
                    std::to_string(v.revision) + " - Integrated",
                "S_Editor=" + editorCode});
}

// ---------------------------------------------------------------------------
// In-process: the form's state set directly.

const std::string kOldProgramIni = Lines(
    {"[Project]", "CustomKey=keep", "[Machine1]", "MachineName=Old", "SpeedFactor=9", "[Project]"});

class CommitTest : public ::testing::Test {
 protected:
  CommitTest() {
    platform::SetProcessForTesting(kCommandLine, "C:\\Korvex\\Start", "Start_Config");
    rt::GetStartModeIntegrated();
    tree_.Write("Korvex/Start/Start.cfg", "[Project]\r\nValidMachines=capper\r\n");
    tree_.Write("Korvex/parameter/kvxconfiguration.ini",
                Lines({"[Common]", "MonitorRes=1024", "VWStudio=False"}));
    tree_.Write("Korvex/parameter/Program.ini", kOldProgramIni);
    tree_.MakeFolder("Korvex/program");
    tree_.MakeFolder("Korvex/standard");
    rt::ExistingMachines = {"", "Filler", "Capper", "Labeler"};
    form_.ConfigurationIniPath = "C:\\Korvex\\parameter\\kvxconfiguration.ini";
    form_.MonitorResolution = "1024";
    // The lists as start-up fills them, without the handlers of other topics.
    for (ui::Control* c : {form_.ComboSupplier, form_.ComboSteuerung, form_.ComboDateFormat,
                           form_.CheckTimeChanging})
      c->on.click = nullptr;
    for (int i = 1; i <= 5; ++i) form_.TextSpeedFactor[i]->on.change = nullptr;
    for (const char* s : {"**Tarvel & Co**", "Acme"}) form_.ComboSupplier->AddItem(s);
    for (const char* s : {"Beckhoff", "Siemens"}) form_.ComboSteuerung->AddItem(s);
    for (const char* s : {"MM-TT-JJJJ", "TT.MM.JJJJ", "JJJJ/MM/TT"})
      form_.ComboDateFormat->AddItem(s);
    form_.ComboSupplier->SetListIndex(1);
    form_.ComboSteuerung->SetListIndex(1);
    form_.ComboDateFormat->SetListIndex(2);
    form_.CheckTimeChanging->SetValue(1);
    form_.NumberOfRejects = 48;
    form_.NumberOfAlarms = 300;
    form_.NumberOfWarnings = 256;
    form_.FaultWithMachineNumber = true;
  }
  ~CommitTest() override {
    rt::ExistingMachines.clear();
    rt::IntegratedMode = false;
    rt::HelpMode = false;
  }

  std::string ExpectedProgramIni(const std::string& supplier, const std::string& factor,
                                 bool vwStudio) const {
    ProjectValues v;
    v.machines = 3, v.supplier = supplier, v.control = 1, v.dateFormat = 2;
    v.timeChanging = true, v.vwStudio = vwStudio, v.alarms = 300, v.fault = true;
    return Lines({"[Project]", "CustomKey=keep"}) + ProjectKeys(v) +
           Lines({"[Machine1]", "MachineName=Old", "SpeedFactor=9", "[Project]"}) +
           PasswordSections() + MachineSection(2, "Capper", factor);
  }
  std::string Cfg() const { return tree_.Read("Korvex/Start/Start.cfg"); }
  std::string ExpectedCfg() const {
    return "[Project]\r\nValidMachines=capper\r\n" +
           Stamp(rt::EditorCode(platform::FirstEnvironmentEntry()));
  }

  testsupport::TempTree tree_;
  testsupport::BoxRecorder boxes_;
  frm_Start_Config_Exe form_;
};

TEST_F(CommitTest, WritesEverySettingInOrderAndOnlyValidMachines) {
  form_.WriteInputs();
  EXPECT_TRUE(boxes_.boxes.empty());
  EXPECT_TRUE(form_.TimeChanging);
  EXPECT_EQ(tree_.Read("Korvex/parameter/Program.ini"), ExpectedProgramIni("Acme", "1", false));
  EXPECT_EQ(tree_.Read("Korvex/TarvelPresets.ini"), "[Project]\r\nFormatOfDate=2\r\n");
  EXPECT_EQ(Cfg(), ExpectedCfg());

  // Again with the maker's own supplier and a typed factor: the same keys, in
  // place; the stamp is replaced, not repeated.
  form_.ComboSupplier->SetListIndex(0);
  form_.TextSpeedFactor[2]->SetText("-7");
  form_.WriteInputs();
  EXPECT_EQ(tree_.Read("Korvex/parameter/Program.ini"), ExpectedProgramIni("", "-7", false));
  EXPECT_EQ(Cfg(), ExpectedCfg());
  const std::string once = tree_.Read("Korvex/parameter/Program.ini");
  form_.WriteInputs();
  EXPECT_EQ(tree_.Read("Korvex/parameter/Program.ini"), once);
}

TEST_F(CommitTest, StudioMarkIsWrittenTrueButNeverFalse) {
  tree_.Write("Korvex/parameter/kvxconfiguration.ini", Lines({"[Common]", "VWStudio=true"}));
  form_.WriteInputs();
  EXPECT_EQ(tree_.Read("Korvex/parameter/Program.ini"), ExpectedProgramIni("Acme", "1", true));

  tree_.Write("Korvex/parameter/kvxconfiguration.ini", Lines({"[Common]", "VWStudio=False"}));
  form_.WriteInputs();
  EXPECT_EQ(rt::LoadIniString("Project", "VWStudio", "C:\\Korvex\\parameter\\Program.ini"), "True");
}

TEST_F(CommitTest, WithoutParameterFolderNothingIsStoredButStampAndPresets) {
  fs::remove_all(tree_.Host("Korvex/parameter"));
  form_.ConfigurationIniPath.clear();
  form_.WriteInputs();
  EXPECT_TRUE(boxes_.boxes.empty());
  EXPECT_FALSE(tree_.Exists("Korvex/parameter"));
  EXPECT_EQ(tree_.Read("Korvex/TarvelPresets.ini"), "[Project]\r\nFormatOfDate=2\r\n");
  EXPECT_EQ(Cfg(), ExpectedCfg());
  std::vector<std::string> top;
  for (const auto& e : fs::directory_iterator(tree_.root())) top.push_back(e.path().filename());
  EXPECT_EQ(top, std::vector<std::string>{"Korvex"});
}

TEST_F(CommitTest, HelpModeShowsTheHelpAndCommitsNothing) {
  form_.CommandOK->SetEnabled(true);
  rt::HelpMode = true;
  form_.CommandOK_Click();
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].title, "Info:");
  EXPECT_TRUE(form_.CommandOK->Enabled());
  EXPECT_TRUE(form_.CommandCancel->Enabled());
  EXPECT_EQ(tree_.Read("Korvex/parameter/Program.ini"), kOldProgramIni);
  EXPECT_FALSE(tree_.Exists("Korvex/TarvelPresets.ini"));
}

TEST_F(CommitTest, CloseMeCopiesFirstWritesEvenAfterFailedCopiesAndEnds) {
  form_.window.onFrontEndNote = [this](const std::string& note) {
    std::cerr << note << " ok=" << form_.CommandOK->Enabled()
              << " cancel=" << form_.CommandCancel->Enabled() << "\n";
  };
  // The "\standard\" folder is missing: every picture copy is reported (and
  // answered Yes by default), the settings follow all the same.
  fs::remove_all(tree_.Host("Korvex/standard"));
  tree_.Write(kMachines + "Filler/Standard/Warn_xx_xxx_1024.bmp", "stand-by");
  rt::ExistingMachines = {"", "Filler"};
  form_.CommandOK->SetEnabled(true);
  EXPECT_EXIT(form_.CommandOK_Click(), testing::ExitedWithCode(kExitCommitted),
              "pending events processed ok=0 cancel=0\n"
              "mouse pointer: hourglass ok=0 cancel=0\n"
              "mouse pointer: default ok=0 cancel=0\n");
  const std::string log = tree_.Read("Korvex/KVXLOG.TXT");
  EXPECT_NE(log.find("Fehler in Start / Start_Config_Exe / CopyFiles (Nr. 76) :Path not found"),
            std::string::npos);
  EXPECT_NE(log.find("MachineSymbol_Filler_1024.gif not found"), std::string::npos);
  EXPECT_FALSE(tree_.Exists("Korvex/standard"));
  EXPECT_EQ(rt::LoadIniInteger("Project", "NumberOfMachines", "C:\\Korvex\\parameter\\Program.ini"),
            1);
  EXPECT_EQ(tree_.Read("Korvex/TarvelPresets.ini"), "[Project]\r\nFormatOfDate=2\r\n");
  EXPECT_EQ(Cfg(), ExpectedCfg());
}

TEST_F(CommitTest, NoToAFailedCopyEndsBeforeAnySetting) {
  tree_.MakeFolder(kMachines + "Filler/Standard");
  rt::ExistingMachines = {"", "Filler"};
  boxes_.answers.push_back(platform::Answer::No);
  EXPECT_EXIT(form_.CloseMe(), testing::ExitedWithCode(1), "");
  EXPECT_EQ(tree_.Read("Korvex/parameter/Program.ini"), kOldProgramIni);
  EXPECT_EQ(Cfg(), "[Project]\r\nValidMachines=capper\r\n");
  EXPECT_FALSE(tree_.Exists("Korvex/TarvelPresets.ini"));
}

// ---------------------------------------------------------------------------
// Scripted runs of the executable.

std::string Bitmap() {
  std::string b = "BM";
  auto le = [&b](uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) b += static_cast<char>((v >> (8 * k)) & 0xFF);
  };
  le(58, 4), le(0, 4), le(54, 4), le(40, 4), le(1, 4), le(1, 4), le(1, 2), le(24, 2);
  le(0, 4), le(4, 4), le(2835, 4), le(2835, 4), le(0, 4), le(0, 4);
  return b + std::string(4, '\x7f');
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class CommitScript : public ::testing::Test {
 protected:
  CommitScript() : install_(tree_) {
    install_.Configure({"Filler", "Capper"}, "1024", "False");
    install_.ValidMachines("ALL");
    install_.Write("Start/Start_Logo.bmp", Bitmap());
    install_.Write("Start/Start_AcmeLogo.bmp", Bitmap());
    install_.Write("parameter/Program.ini", "[Project]\r\nCustomKey=keep\r\n");
    install_.Write("Program/Korvex.mdb", "old database");
    tree_.MakeFolder("Korvex/Standard");
    // The Save & Restore copy.
    tree_.Write(
        "SR/Copy1/parameter/program.ini",
        Lines({"[Project]", "Supplier=Acme", "Control=1", "DateFormat=2", "TimeChanging=false",
               "NumberOfRejects=100", "NumberOfAlarms=100", "NumberOfWarnings=300",
               "FaultWithMachineNumber=true", "[Machine1]", "MachineName=Filler", "SpeedFactor=3",
               "[Machine2]", "MachineName=Capper", "SpeedFactor=7"}));
    tree_.Write("SR/Copy1/Program/Korvex.mdb", "copy database");
    tree_.Write("SR/Copy1/Program/Alarmdefinition.mdb", "copy alarms");
    tree_.Write("SR/Copy1/Program/Helptext.mdb", "copy help");
    // The source folder of the installation media.
    tree_.Write("Source/Verschiedenes/parameter/Brand.mdb", "brand");
    tree_.Write(kMachines + "Filler/Standard/Warn_xx_xxx_1024.bmp", "filler stand-by");
    tree_.Write(kMachines + "Filler/Standard/MachineSymbol_Filler_1024.gif", "filler symbol");
    for (int k = 1; k <= 16; ++k)
      tree_.Write(kMachines + "Capper/Standard/" + (k < 10 ? "Warn_0" : "Warn_") +
                      std::to_string(k) + "_Capper_1024.bmp",
                  "capper " + std::to_string(k));
    tree_.Write(kMachines + "Capper/Standard/MachineSymbol_Capper_1024.gif", "capper symbol");
  }

  testsupport::RunResult Commit(
      const std::string& script = "dir C:\\SR\\Copy1\nclick CommandOK\n") {
    return install_.Run(kCommandLine, script, {"EDITOR=abc"});
  }
  std::string Standard(const std::string& name) const {
    return tree_.Read("Korvex/Standard/" + name);
  }
  ProjectValues Taken() const {
    ProjectValues v;
    v.machines = 2, v.supplier = "Acme", v.control = 1, v.dateFormat = 2, v.rejects = 100;
    v.alarms = 256, v.warnings = 300, v.fault = true;
    return v;
  }
  std::string ExpectedProgramIni(const ProjectValues& v) const {
    return Lines({"[Project]", "CustomKey=keep"}) + ProjectKeys(v) + Lines({"[Project]"}) +
           PasswordSections() + MachineSection(1, "Filler", "3") + MachineSection(2, "Capper", "7");
  }

  testsupport::TempTree tree_;
  testsupport::Installation install_;
};

TEST_F(CommitScript, AcceptedCopyIsCommittedFileByFile) {
  const auto run = Commit();
  ASSERT_EQ(run.status, 0) << run.transcript << run.errors;
  EXPECT_NE(run.transcript.find("> click CommandOK\npending events processed\n"
                                "mouse pointer: hourglass\nmouse pointer: default\n"
                                "process ended with status 0\n"),
            std::string::npos)
      << run.transcript;
  EXPECT_EQ(run.transcript.find("msgbox"), std::string::npos) << run.transcript;

  EXPECT_EQ(install_.Read("parameter/Program.ini"), ExpectedProgramIni(Taken()));
  EXPECT_EQ(install_.Read("TarvelPresets.ini"), "[Project]\r\nFormatOfDate=2\r\n");
  EXPECT_EQ(install_.Read("Start/Start.cfg"),
            "[Project]\r\nValidMachines=ALL\r\n" + Stamp("666768"));
  EXPECT_EQ(install_.Read("parameter/kvxconfiguration.ini"),
            Lines({"[Common]", "NameM1=Filler", "NameM2=Capper", "MonitorRes=1024",
                   "VWStudio=False", "SaveAndRestore=C:\\SR\\Copy1", "ConfigExeCancel=False"}));
  EXPECT_FALSE(install_.Exists("KVXLOG.TXT"));

  EXPECT_EQ(install_.Read("Program/Korvex.mdb"), "copy database");
  EXPECT_EQ(install_.Read("Program/AlarmDefinition.mdb"), "copy alarms");
  EXPECT_EQ(install_.Read("Program/HelpText.mdb"), "copy help");
  EXPECT_EQ(install_.Read("parameter/Brand.mdb"), "brand");
  for (int k = 1; k <= 16; ++k) {
    const std::string two = (k < 10 ? "0" : "") + std::to_string(k);
    EXPECT_EQ(Standard("Warn_" + two + "_Filler_1024.bmp"), "filler stand-by") << k;
    EXPECT_EQ(Standard("Warn_" + two + "_Capper_1024.bmp"), "capper " + std::to_string(k)) << k;
  }
  EXPECT_EQ(Standard("Warn_xx_xxx_1024.bmp"), "filler stand-by");
  EXPECT_EQ(Standard("MachineSymbol_Filler_1024.gif"), "filler symbol");
  EXPECT_EQ(Standard("MachineSymbol_Capper_1024.gif"), "capper symbol");
  EXPECT_EQ(std::distance(fs::directory_iterator(tree_.Host("Korvex/Standard")), {}), 35);
}

TEST_F(CommitScript, StudioInstallationCopiesTheProjectAndMarksIt) {
  install_.Configure({"Filler", "Capper"}, "1024", "True");
  fs::remove(tree_.Host("SR/Copy1/Program/Korvex.mdb"));
  tree_.Write("SR/Copy1/Program/Korvex.vws", "copy project");
  const auto run = Commit();
  ASSERT_EQ(run.status, 0) << run.transcript << run.errors;
  ProjectValues v = Taken();
  v.vwStudio = true;
  EXPECT_EQ(install_.Read("parameter/Program.ini"), ExpectedProgramIni(v));
  EXPECT_EQ(install_.Read("Program/Korvex.vws"), "copy project");
  EXPECT_EQ(install_.Read("Program/Korvex.mdb"), "old database");
  EXPECT_FALSE(install_.Exists("Program/AlarmDefinition.mdb"));
  EXPECT_EQ(install_.Read("Program/HelpText.mdb"), "copy help");
}

TEST_F(CommitScript, SixteenMissingPicturesAreReportedAndTheCommitGoesOn) {
  fs::remove(tree_.Host(kMachines + "Filler/Standard/Warn_xx_xxx_1024.bmp"));
  const auto run = Commit();
  ASSERT_EQ(run.status, 0) << run.transcript << run.errors;
  const std::string generic = "Maschinenabhängig\\Filler\\Standard\\Warn_xx_xxx_1024.bmp";
  EXPECT_EQ(Count(run.transcript, generic + " not found"), 16u) << run.transcript;
  EXPECT_EQ(Count(run.transcript, "answer=Yes (default)"), 16u);
  EXPECT_EQ(install_.Read("KVXLOG.TXT"), [] {
    std::string line =
        "Fehler in Start / Start_Config_Exe / CopyFiles (Nr. 53) "
        ":C:\\SOURCE\\Verschiedenes\\Maschinenabh\xE4ngig\\Filler\\Standard\\"
        "Warn_xx_xxx_1024.bmp not found\r\n";
    std::string log;
    for (int k = 0; k < 16; ++k) log += line;
    return log;
  }());
  EXPECT_FALSE(install_.Exists("Standard/Warn_01_Filler_1024.bmp"));
  EXPECT_EQ(Standard("MachineSymbol_Filler_1024.gif"), "filler symbol");
  EXPECT_EQ(install_.Read("parameter/Program.ini"), ExpectedProgramIni(Taken()));
  EXPECT_EQ(install_.Read("Start/Start.cfg"),
            "[Project]\r\nValidMachines=ALL\r\n" + Stamp("666768"));
}

TEST_F(CommitScript, MissingDestinationFoldersAreNotCreated) {
  fs::remove_all(tree_.Host("Korvex/Program"));
  fs::remove_all(tree_.Host("Korvex/Standard"));
  const auto run = Commit();
  ASSERT_EQ(run.status, 0) << run.transcript << run.errors;
  // Three databases, then per machine 16 warnings, its folder's files and its symbol.
  EXPECT_EQ(Count(run.transcript, "Path not found"), 3u + (16u + 2u + 1u) + (16u + 17u + 1u));
  EXPECT_FALSE(install_.Exists("Program"));
  EXPECT_FALSE(install_.Exists("Standard"));
  EXPECT_FALSE(install_.Exists("standard"));
  EXPECT_EQ(install_.Read("parameter/Brand.mdb"), "brand");
  EXPECT_EQ(install_.Read("parameter/Program.ini"), ExpectedProgramIni(Taken()));
}

TEST_F(CommitScript, OkInHelpModeOnlyExplains) {
  const auto run = Commit("dir C:\\SR\\Copy1\nclick CommandQuest\nclick CommandOK\n");
  EXPECT_EQ(run.status, 3) << run.transcript << run.errors;
  EXPECT_NE(run.transcript.find("> click CommandOK\nmsgbox title=\"Info:\" icon=information"),
            std::string::npos)
      << run.transcript;
  EXPECT_EQ(run.transcript.find("mouse pointer"), std::string::npos);
  EXPECT_EQ(install_.Read("parameter/Program.ini"), "[Project]\r\nCustomKey=keep\r\n[Project]\r\n");
  EXPECT_EQ(install_.Read("Program/Korvex.mdb"), "old database");
  EXPECT_FALSE(install_.Exists("TarvelPresets.ini"));
}

}  // namespace
