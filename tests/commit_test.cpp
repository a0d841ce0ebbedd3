// OK: the settings written to Program.ini, the presets file and the CFG stamp,
// the order of CloseMe, help mode, and whole scripted runs from start-up through
// an accepted Save & Restore copy to the end of the process.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "form/start_config_form.h"
#include "platform/process.h"
#include "runtime/command_line.h"
#include "runtime/config_paths.h"
#include "runtime/edit_info.h"
#include "runtime/ini_access.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Count;
using testsupport::WarnName;

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
  return Lines({"[Info]", "S_Prog=" + testsupport::ProgramVersionText() + " - Integrated",
                "S_Editor=" + editorCode});
}

// ---------------------------------------------------------------------------
// In-process, on a form whose state the test sets: what the scripted runs below
// cannot reach.

class CommitTest : public testsupport::FormTest {
 protected:
  CommitTest() : FormTest(kCommandLine) {
    rt::GetStartModeIntegrated();
    tree_.Write("Korvex/Start/Start.cfg", "[Project]\r\nValidMachines=all\r\n");
    tree_.Write("Korvex/parameter/Program.ini", "[Project]\r\n");
    rt::ExistingMachines = {"", "Filler"};
    form_->MonitorResolution = "-1";
    form_->TextSpeedFactor[1]->on.change = nullptr;
    form_->ComboSupplier->on.click = nullptr;
    for (const char* s : {"**Tarvel & Co**", "Acme"}) form_->ComboSupplier->AddItem(s);
    form_->ComboSupplier->SetListIndex(0);
  }
  std::string Ini(const std::string& key, const std::string& section = "Project") const {
    return rt::LoadIniString(section, key, "C:\\Korvex\\parameter\\Program.ini");
  }
};

TEST_F(CommitTest, MakersSupplierEmptyFactorAndRepeatedCommit) {
  form_->WriteInputs();
  EXPECT_EQ(Ini("Supplier"), "");
  EXPECT_EQ(Ini("Control"), "-1");  // nothing selected
  EXPECT_EQ(Ini("Resolution"), "-1");
  EXPECT_EQ(Ini("SpeedFactor", "Machine1"), "1");
  form_->TextSpeedFactor[1]->SetText("-7");
  form_->WriteInputs();
  EXPECT_EQ(Ini("SpeedFactor", "Machine1"), "-7");
  // The same inputs again: the same file, each key once.
  const std::string once = tree_.Read("Korvex/parameter/Program.ini");
  form_->WriteInputs();
  EXPECT_EQ(tree_.Read("Korvex/parameter/Program.ini"), once);
  EXPECT_TRUE(boxes_.boxes.empty());
}

TEST_F(CommitTest, WithoutParameterFolderOnlyPresetsAndStampAreWritten) {
  std::filesystem::remove_all(tree_.Host("Korvex/parameter"));
  form_->WriteInputs();
  // Each of the 50 keys for Program.ini is reported; nothing else is.
  EXPECT_EQ(boxes_.boxes.size(), 50u);
  for (const auto& box : boxes_.boxes)
    EXPECT_NE(box.text.find("C:\\Korvex\\parameter\\Program.ini could not be written"),
              std::string::npos)
        << box.text;
  EXPECT_FALSE(tree_.Exists("Korvex/parameter"));
  EXPECT_EQ(tree_.Read("Korvex/TarvelPresets.ini"), "[Project]\r\nFormatOfDate=-1\r\n");
  EXPECT_EQ(tree_.Read("Korvex/Start/Start.cfg"),
            "[Project]\r\nValidMachines=all\r\n" +
                Stamp(rt::EditorCode(platform::FirstEnvironmentEntry())));
  EXPECT_EQ(tree_.Entries(""), std::vector<std::string>{"Korvex"});
}

// ---------------------------------------------------------------------------
// Scripted runs of the executable.

class CommitScript : public ::testing::Test {
 protected:
  CommitScript() : install_(tree_) {
    install_.Prepare({"Filler", "Capper"}, "FILLER");  // Capper is not configured here
    install_.Write("Start/Start_AcmeLogo.bmp", testsupport::Bitmap());
    install_.Write("parameter/Program.ini", kOldProgramIni);
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
    // The source folder of the installation media. Filler has only the stand-by
    // picture (and one of another resolution); Capper has all sixteen.
    tree_.Write("Source/Verschiedenes/parameter/Brand.mdb", "brand");
    tree_.Write(kMachines + "Filler/Standard/Warn_xx_xxx_1024.bmp", "filler stand-by");
    tree_.Write(kMachines + "Filler/Standard/Warn_xx_xxx_800.bmp", "filler 800");
    tree_.Write(kMachines + "Filler/Standard/Shared.gif", "filler shared");
    tree_.Write(kMachines + "Filler/Standard/MachineSymbol_Filler_1024.gif", "filler symbol");
    for (int k = 1; k <= 16; ++k)
      tree_.Write(kMachines + "Capper/Standard/" + WarnName(k, "Capper"),
                  "capper " + std::to_string(k));
    tree_.Write(kMachines + "Capper/Standard/Shared.gif", "capper shared");
    tree_.Write(kMachines + "Capper/Standard/MachineSymbol_Capper_1024.gif", "capper symbol");
  }

  testsupport::RunResult Commit(
      const std::string& script = "dir C:\\SR\\Copy1\nclick CommandOK\n") {
    return install_.Run(kCommandLine, script, {"EDITOR=abc"});
  }
  std::string Standard(const std::string& name) const {
    return tree_.Read("Korvex/Standard/" + name);
  }
  static ProjectValues Taken() {
    ProjectValues v;
    v.machines = 2, v.supplier = "Acme", v.control = 1, v.dateFormat = 2, v.rejects = 100;
    v.alarms = 256, v.warnings = 300, v.fault = true;
    return v;
  }
  // The old keys stay in place (VWStudio is never written false), the new ones
  // follow in writing order; only the valid machine gets its section.
  static std::string ExpectedProgramIni(const ProjectValues& v) {
    return Lines({"[Project]", "VWStudio=True"}) + ProjectKeys(v) +
           Lines({"[Machine2]", "MachineName=Old", "[Project]"}) + PasswordSections() +
           MachineSection(1, "Filler", "3");
  }
  std::string Stamped() const {
    return "[Project]\r\nValidMachines=FILLER\r\n" + Stamp("666768");  // EDITOR=abc
  }

  const std::string kOldProgramIni =
      Lines({"[Project]", "VWStudio=True", "[Machine2]", "MachineName=Old"});
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
  EXPECT_EQ(install_.Read("Start/Start.cfg"), Stamped());
  EXPECT_EQ(install_.Read("parameter/kvxconfiguration.ini"),
            Lines({"[Common]", "NameM1=Filler", "NameM2=Capper", "MonitorRes=1024",
                   "VWStudio=False", "SaveAndRestore=C:\\SR\\Copy1", "ConfigExeCancel=False"}));
  EXPECT_FALSE(install_.Exists("KVXLOG.TXT"));

  EXPECT_EQ(install_.Read("Program/Korvex.mdb"), "copy database");
  EXPECT_EQ(install_.Read("Program/AlarmDefinition.mdb"), "copy alarms");
  EXPECT_EQ(install_.Read("Program/HelpText.mdb"), "copy help");
  EXPECT_EQ(install_.Read("parameter/Brand.mdb"), "brand");
  // Filler's sixteen are its stand-by under the specific names; Capper's pictures
  // arrive although Capper is not valid; the whole folders follow, other
  // resolutions included, and the later machine wins a shared name.
  for (int k = 1; k <= 16; ++k) {
    EXPECT_EQ(Standard(WarnName(k, "Filler")), "filler stand-by") << k;
    EXPECT_EQ(Standard(WarnName(k, "Capper")), "capper " + std::to_string(k)) << k;
  }
  EXPECT_EQ(Standard("Warn_xx_xxx_1024.bmp"), "filler stand-by");
  EXPECT_EQ(Standard("Warn_xx_xxx_800.bmp"), "filler 800");
  EXPECT_EQ(Standard("Shared.gif"), "capper shared");
  EXPECT_EQ(Standard("MachineSymbol_Filler_1024.gif"), "filler symbol");
  EXPECT_EQ(Standard("MachineSymbol_Capper_1024.gif"), "capper symbol");
  EXPECT_EQ(std::distance(fs::directory_iterator(tree_.Host("Korvex/Standard")), {}), 37);
}

TEST_F(CommitScript, StudioInstallationCopiesTheProjectAndMarksIt) {
  install_.Configure({"Filler", "Capper"}, "1024", "True");
  install_.Write("parameter/Program.ini", "[Project]\r\n");
  fs::remove(tree_.Host("SR/Copy1/Program/Korvex.mdb"));
  tree_.Write("SR/Copy1/Program/Korvex.vws", "copy project");
  const auto run = Commit();
  ASSERT_EQ(run.status, 0) << run.transcript << run.errors;
  ProjectValues v = Taken();
  v.vwStudio = true;
  EXPECT_EQ(install_.Read("parameter/Program.ini"), Lines({"[Project]"}) + ProjectKeys(v) +
                                                        Lines({"[Project]"}) + PasswordSections() +
                                                        MachineSection(1, "Filler", "3"));
  EXPECT_EQ(install_.Read("Program/Korvex.vws"), "copy project");
  EXPECT_EQ(install_.Read("Program/Korvex.mdb"), "old database");
  EXPECT_FALSE(install_.Exists("Program/AlarmDefinition.mdb"));
  EXPECT_EQ(install_.Read("Program/HelpText.mdb"), "copy help");
}

TEST_F(CommitScript, SixteenMissingPicturesAreReportedAndTheCommitGoesOn) {
  fs::remove(tree_.Host(kMachines + "Filler/Standard/Warn_xx_xxx_1024.bmp"));
  const auto run = Commit();
  // The commit goes on to its end, and its status tells that failures were reported.
  ASSERT_EQ(run.status, 4) << run.transcript << run.errors;
  const std::string generic = "Maschinenabhängig\\Filler\\Standard\\Warn_xx_xxx_1024.bmp";
  EXPECT_EQ(Count(run.transcript, generic + " not found"), 16u) << run.transcript;
  EXPECT_EQ(Count(run.transcript, "answer=Yes (default)"), 16u);
  std::string log;
  for (int k = 0; k < 16; ++k)  // the log is written in the Windows code page
    log +=
        "Fehler in Start / Start_Config_Exe / CopyFiles (Nr. 53) :C:\\SOURCE\\Verschiedenes\\"
        "Maschinenabh\xE4ngig\\Filler\\Standard\\Warn_xx_xxx_1024.bmp not found\r\n";
  EXPECT_EQ(install_.Read("KVXLOG.TXT"), log);
  EXPECT_FALSE(install_.Exists("Standard/" + WarnName(1, "Filler")));
  EXPECT_EQ(Standard("MachineSymbol_Filler_1024.gif"), "filler symbol");
  EXPECT_EQ(install_.Read("parameter/Program.ini"), ExpectedProgramIni(Taken()));
  EXPECT_EQ(install_.Read("Start/Start.cfg"), Stamped());
}

TEST_F(CommitScript, MissingDestinationFoldersAreNotCreated) {
  fs::remove_all(tree_.Host("Korvex/Program"));
  fs::remove_all(tree_.Host("Korvex/Standard"));
  const auto run = Commit();
  ASSERT_EQ(run.status, 4) << run.transcript << run.errors;
  // Three databases, then per machine 16 warnings, its folder's files and its symbol.
  EXPECT_EQ(Count(run.transcript, "Path not found"), 3u + (16u + 4u + 1u) + (16u + 18u + 1u));
  EXPECT_FALSE(install_.Exists("Program"));
  EXPECT_FALSE(install_.Exists("Standard"));
  EXPECT_FALSE(install_.Exists("standard"));
  EXPECT_EQ(install_.Read("parameter/Brand.mdb"), "brand");
  EXPECT_EQ(install_.Read("parameter/Program.ini"), ExpectedProgramIni(Taken()));
}

TEST_F(CommitScript, NoToAFailedCopyEndsBeforeAnySetting) {
  fs::remove(tree_.Host(kMachines + "Filler/Standard/Warn_xx_xxx_1024.bmp"));
  const auto run = Commit("dir C:\\SR\\Copy1\nanswer No\nclick CommandOK\n");
  EXPECT_EQ(run.status, 1) << run.transcript << run.errors;
  EXPECT_EQ(install_.Read("Program/Korvex.mdb"), "copy database");
  EXPECT_EQ(install_.Read("parameter/Program.ini"), kOldProgramIni + "[Project]\r\n");
  EXPECT_EQ(install_.Read("Start/Start.cfg"), "[Project]\r\nValidMachines=FILLER\r\n");
  EXPECT_FALSE(install_.Exists("TarvelPresets.ini"));
}

TEST_F(CommitScript, OkInHelpModeOnlyExplains) {
  const auto run = Commit("dir C:\\SR\\Copy1\nclick CommandQuest\nclick CommandOK\n");
  EXPECT_EQ(run.status, 3) << run.transcript << run.errors;
  EXPECT_NE(run.transcript.find("> click CommandOK\nmsgbox title=\"Info:\" icon=information"),
            std::string::npos)
      << run.transcript;
  EXPECT_EQ(run.transcript.find("mouse pointer"), std::string::npos);
  EXPECT_EQ(install_.Read("parameter/Program.ini"), kOldProgramIni + "[Project]\r\n");
  EXPECT_EQ(install_.Read("Program/Korvex.mdb"), "old database");
  EXPECT_FALSE(install_.Exists("TarvelPresets.ini"));
}

}  // namespace
