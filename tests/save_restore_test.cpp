// The Save & Restore selection and takeover: which folder is a copy, what is
// taken over, when a copy is refused, and what is left for the configuration
// tool in kvxconfiguration.ini.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "e2e_support.h"
#include "form/start_config_form.h"
#include "runtime/command_line.h"
#include "runtime/config_paths.h"

namespace {

using testsupport::ExpectDump;
using testsupport::Installation;
using testsupport::TempTree;
using Strings = std::vector<std::string>;

const std::string kBaseKvx =
    "[Common]\r\nNameM1=Filler\r\nNameM2=Packer\r\nMonitorRes=1024\r\nVWStudio=False\r\n";
const std::string kRefusal =
    "msgbox title=\"Error - Wrong Save & Restore!\" icon=stop buttons=OK default=OK\n"
    "  text=\"Please select a different \"Save & Restore\"!<LF><CR>Machineconfiguration "
    "differs<LF><CR>";
const std::string kNotice = "msgbox title=\"Start_Config_Exe\" icon=none buttons=OK default=OK\n";

// A copy's program.ini: the project lines, then per machine its name and a
// speed factor of 3, 4, ...
std::string CopyIni(const Strings& names, const std::string& project = "") {
  std::string ini = "[Project]\r\n" + project;
  for (size_t i = 0; i < names.size(); ++i)
    ini += "[Machine" + std::to_string(i + 1) + "]\r\nMachineName=" + names[i] +
           "\r\nSpeedFactor=" + std::to_string(i + 3) + "\r\n";
  return ini;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Each run below ends with the window open, so the step is left without OK and
// the tool's INI ends with the cancel mark whatever the connect wrote; the
// "False" of an accepted copy is seen in the runs that end with OK.
class SaveRestoreE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    inst.Prepare({"Filler", "Packer"});
    tree.Write("SR/Copy1/parameter/program.ini", CopyIni({"Filler", "Packer"}));
    tree.Write("SR/Copy1/program/korvex.mdb", "");
    tree.Write("SR/Bad/parameter/program.ini", CopyIni({"Filler", "Wrapper", "Extra"}));
  }
  // Every run starts from the same tool INI and leaves it for inspection.
  testsupport::RunResult Run(const std::string& script) {
    inst.Configure({"Filler", "Packer"});
    return inst.Run(inst.Integrated(), script);
  }
  std::string Kvx() const { return inst.Read("parameter/kvxconfiguration.ini"); }
  TempTree tree{"D"};
  Installation inst{tree};
};

TEST_F(SaveRestoreE2E, AcceptedRefusedAndAcceptedAgain) {
  Run("dir C:\\SR\\Copy1\n");
  EXPECT_EQ(Kvx(), kBaseKvx + "SaveAndRestore=C:\\SR\\Copy1\r\nConfigExeCancel=Start_Config\r\n");

  // The refused copy takes everything over up to the comparison, not the paths.
  auto run = Run("dir C:\\SR\\Copy1\ndir C:\\SR\\Bad\ndump\n");
  EXPECT_EQ(Kvx(), kBaseKvx + "SaveAndRestore=C:\\SR\\Bad\r\nConfigExeCancel=Start_Config\r\n");
  ExpectDump(run.transcript, {{"TextSpeedFactor(2)", "text=\"4\""},
                              {"TextPath(0)", "text=\"C:\\SR\\Copy1\\program\\korvex.mdb\""},
                              {"CommandOK", "enabled=0"}});

  run = Run("dir C:\\SR\\Copy1\ndir C:\\SR\\Bad\ndir C:\\SR\\Copy1\ndump\n");
  EXPECT_EQ(run.transcript.substr(0, run.transcript.find("> dump")),
            "window shown caption=\"Erweiterte Konfiguration Start - integriert\"\n"
            "> dir C:\\SR\\Copy1\n> dir C:\\SR\\Bad\n" +
                kRefusal + "Machine 2 S&R: Wrapper New Visualation:Packer<LF><CR>\"\n" +
                "  answer=OK (default)\n> dir C:\\SR\\Copy1\n");
  EXPECT_EQ(Kvx(), kBaseKvx + "SaveAndRestore=C:\\SR\\Copy1\r\nConfigExeCancel=Start_Config\r\n");
  ExpectDump(run.transcript,
             {{"CommandOK", "enabled=1"},
              {"ListSAR", "list=[Program.ini]"},
              {"LabelSARVisuVersion", "caption=\"VisiWin\""},
              {"TextPath(1)", "text=\"C:\\SR\\Copy1\\program\\Alarmdefinition.mdb\""}});

  // Refused, then a folder that is no copy: the cancel mark stays.
  Run("dir C:\\SR\\Bad\ndir C:\\SR\n");
  EXPECT_EQ(Kvx(), kBaseKvx + "SaveAndRestore=\r\nConfigExeCancel=Start_Config\r\n");
}

TEST_F(SaveRestoreE2E, NoCopyResetKeepsSelectionsAndAlwaysDisablesOK) {
  tree.Write("SR/Copy1/parameter/program.ini",
             CopyIni({"Filler", "Packer"}, "Control=1\r\nDateFormat=2\r\nTimeChanging=false\r\n"));
  auto run = Run("dir C:\\SR\\Copy1\ndir C:\\SR\ndump\n");
  ExpectDump(run.transcript, {{"CommandOK", "enabled=0"},
                              {"ListSAR", "list=[]"},
                              {"TextSpeedFactor(1)", "enabled=1 text=\"\""},
                              {"TextSpeedFactor(2)", "enabled=1 text=\"\""},
                              {"CheckTimeChanging", "value=1"},
                              {"ComboSteuerung", "list=[Beckhoff|*Siemens]"},
                              {"ComboDateFormat", "|*JJJJ/MM/TT]"},
                              {"TextPath(2)", "Copy1\\program\\Helptext.mdb"},
                              {"LabelSARVisuVersion", "caption=\"VisiWin\""}});
  EXPECT_EQ(Kvx(), kBaseKvx + "SaveAndRestore=\r\nConfigExeCancel=Start_Config\r\n");

  // An accepted copy at the root of the current drive, connected during the
  // set-up: the final reset must still disable OK, or OK would commit a copy
  // that is no longer connected. So must a later folder without a copy.
  tree.Write("parameter/program.ini", CopyIni({"Filler", "Packer"}));
  tree.Write("program/korvex.mdb", "");
  run = Run("dump\ndir C:\\SR\\Copy1\ndir C:\\SR\ndump\n");
  EXPECT_TRUE(Has(run.transcript, "CommandOK CommandButton visible=1 shown=1 enabled=0"));
  EXPECT_FALSE(Has(run.transcript, "CommandOK CommandButton visible=1 shown=1 enabled=1"));
  EXPECT_EQ(Kvx(), kBaseKvx + "SaveAndRestore=\r\nConfigExeCancel=Start_Config\r\n");
}

TEST_F(SaveRestoreE2E, UnknownSupplierControlAndDateFormatAreNamedButAccepted) {
  tree.Write("SR/Copy2/parameter/program.ini",
             CopyIni({"Filler", "Packer"}, "DateFormat=1\r\nControl=1\r\n"));
  tree.Write("SR/Copy1/parameter/program.ini",
             CopyIni({"Filler", "Packer"}, "Supplier=Nobody\r\nControl=5\r\nDateFormat=3\r\n"));
  auto run = Run("dir C:\\SR\\Copy2\ndir C:\\SR\\Copy1\ndump\n");
  const std::string ini = "C:\\SR\\Copy1\\parameter\\program.ini\"\n  answer=OK (default)\n";
  EXPECT_TRUE(Has(run.transcript,
                  "> dir C:\\SR\\Copy1\n" + kNotice +
                      "  text=\"Unknown supplier (\"Nobody\") found in  S&R " + ini + kNotice +
                      "  text=\"Unknown control (\"5\") found in  S&R " + ini + kNotice +
                      "  text=\"Unknown dateformat (3) found in S&R " + ini + "> dump\n"))
      << run.transcript;
  ExpectDump(run.transcript, {{"ComboSupplier", "list=[***Tarvel & Co**]"},
                              {"ComboSteuerung", "list=[*Beckhoff|Siemens]"},
                              {"ComboDateFormat", "list=[MM-TT-JJJJ|*TT.MM.JJJJ|"},
                              {"CommandOK", "enabled=1"}});
  EXPECT_EQ(Kvx(), kBaseKvx + "SaveAndRestore=C:\\SR\\Copy1\r\nConfigExeCancel=Start_Config\r\n");
}

TEST_F(SaveRestoreE2E, BadInputIsSurvived) {
  // Binary junk (a fixed sequence), an empty file, 10,000 sections first.
  std::minstd_rand random(7);
  std::string junk;
  for (int i = 0; i < 20000; ++i) junk.push_back(static_cast<char>(random() & 0xFF));
  tree.Write("SR/Junk/parameter/program.ini", junk);
  tree.Write("SR/Empty/parameter/program.ini", "");
  std::string big;
  for (int i = 0; i < 10000; ++i)
    big += "[S" + std::to_string(i) + "]\r\nK=" + std::to_string(i) + "\r\n";
  tree.Write("SR/Big/parameter/program.ini", big + CopyIni({"Filler", "Packer"}));
  tree.Write("SR/Big/program/korvex.mdb", "");
  auto run = Run("dir C:\\SR\\Junk\ndir C:\\SR\\Empty\ndir C:\\SR\\Big\ndump\n");
  EXPECT_EQ(run.status, 3) << run.errors;
  EXPECT_TRUE(Has(run.transcript, "> dir C:\\SR\\Empty\n" + kRefusal +
                                      "Machine 1 S&R:  New Visualation:Filler<LF><CR>"
                                      "Machine 2 S&R:  New Visualation:Packer<LF><CR>\"\n"
                                      "  answer=OK (default)\n> dir C:\\SR\\Big\n> dump"))
      << run.transcript;
  EXPECT_FALSE(Has(run.transcript, "Unexpected error"));
  ExpectDump(run.transcript, {{"CommandOK", "enabled=1"}, {"TextSpeedFactor(1)", "text=\"3\""}});
  EXPECT_EQ(Kvx(), kBaseKvx + "SaveAndRestore=C:\\SR\\Big\r\nConfigExeCancel=Start_Config\r\n");
  EXPECT_EQ(tree.Read("SR/Junk/parameter/program.ini"), junk);  // copies are only read

  // A copy on the root of drive D: doubles the backslash after the root.
  tree.Write("drive-D/parameter/program.ini", CopyIni({"Filler", "Packer"}));
  tree.Write("drive-D/program/korvex.mdb", "");
  run = Run("drive d:\ndump\n");
  EXPECT_FALSE(Has(run.transcript, "msgbox")) << run.transcript;
  ExpectDump(run.transcript,
             {{"TextPath(0)", "text=\"D:\\\\program\\korvex.mdb\""}, {"CommandOK", "enabled=1"}});
  EXPECT_EQ(Kvx(), kBaseKvx + "SaveAndRestore=D:\\\r\nConfigExeCancel=Start_Config\r\n");

  // An unreadable settings file is present, so the folder is a copy, but every
  // key reads as missing: refused, without a run-time failure.
  tree.Write("SR/Locked/parameter/program.ini", CopyIni({"Filler", "Packer"}));
  chmod(tree.Host("SR/Locked/parameter/program.ini").c_str(), 0);
  run = Run("dir C:\\SR\\Locked\n");
  EXPECT_TRUE(Has(run.transcript, kRefusal));
  EXPECT_FALSE(Has(run.transcript, "Unexpected error"));
  EXPECT_EQ(Kvx(), kBaseKvx + "SaveAndRestore=C:\\SR\\Locked\r\nConfigExeCancel=Start_Config\r\n");

  // Machine names holding "=" and ";" match through both INI files.
  tree.Write("SR/Odd/parameter/program.ini", CopyIni({"Fill=er", "Pack;er"}));
  inst.Write("parameter/kvxconfiguration.ini", "[Common]\r\nNameM1=Fill=er\r\nNameM2=Pack;er\r\n");
  run = inst.Run(inst.Integrated(), "dir C:\\SR\\Odd\ndump\n");
  EXPECT_FALSE(Has(run.transcript, "msgbox")) << run.transcript;
  ExpectDump(run.transcript, {{"LabelSpeedFactor(1)", "caption=\"Fill=er\""},
                              {"LabelSpeedFactor(2)", "caption=\"Pack;er\""}});
}

// In-process: the takeover values, the version label and the order in which a
// connect raises the other handlers.
class SaveRestoreInProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    inst.Prepare({"Filler", "Packer"});
    for (const char* logo : {"START_ACMELOGO.BMP", "start_ACMElogo.bmp"})
      inst.Write(std::string("Start/") + logo, testsupport::Bitmap());  // two files give "ACME"
    Load();
  }
  void Load(const std::string& vwStudio = "False") {
    inst.Configure({"Filler", "Packer"}, "1024", vwStudio);
    testsupport::SetProcess("/EXTERNAL=KVXCFG");
    form.reset();  // the texts go to the first loaded window
    rt::ExistingMachines.clear();
    form = std::make_unique<frm_Start_Config_Exe>();
    form->Form_Load();
    ASSERT_TRUE(boxes.boxes.empty());
  }
  void Connect(const std::string& folder, const std::string& project,
               const Strings& files = {"program/korvex.mdb"}) {
    tree.Write("SR/" + folder + "/parameter/program.ini", CopyIni({"Filler", "Packer"}, project));
    for (const std::string& f : files) tree.Write("SR/" + folder + "/" + f, "");
    form->DirSAR->SetPath("C:\\SR\\" + folder);
  }
  testsupport::RuntimeState state;
  TempTree tree;
  Installation inst{tree};
  testsupport::BoxRecorder boxes;
  std::unique_ptr<frm_Start_Config_Exe> form;
};

TEST_F(SaveRestoreInProcess, CountersControlAndDateFormatLimits) {
  Connect("A",
          "NumberOfRejects=12\r\nNumberOfWarnings=300\r\nFaultWithMachineNumber=TRUE\r\n"
          "Control=-3\r\nDateFormat=2\r\n");
  EXPECT_EQ(form->NumberOfRejects, 48);
  EXPECT_EQ(form->NumberOfAlarms, 256);  // missing
  EXPECT_EQ(form->NumberOfWarnings, 300);
  EXPECT_TRUE(form->FaultWithMachineNumber);
  EXPECT_EQ(form->ComboSteuerung->ListIndex(), 0);
  EXPECT_EQ(form->ComboDateFormat->ListIndex(), 2);
  EXPECT_TRUE(boxes.boxes.empty());
  // A date format below -1 is no list index: named like one beyond the list,
  // and the selection stays.
  Connect("B", "NumberOfRejects=100\r\nNumberOfAlarms=-7\r\nControl=1\r\nDateFormat=-5\r\n");
  EXPECT_EQ(form->NumberOfRejects, 100);
  EXPECT_EQ(form->NumberOfAlarms, 256);
  EXPECT_FALSE(form->FaultWithMachineNumber);
  EXPECT_EQ(form->ComboSteuerung->ListIndex(), 1);
  EXPECT_EQ(form->ComboDateFormat->ListIndex(), 2);
  EXPECT_EQ(boxes.Texts(),
            Strings{"Unknown dateformat (-5) found in S&R C:\\SR\\B\\parameter\\program.ini"});
  Connect("C", "");  // missing: -1 counts as 0
  EXPECT_EQ(form->ComboDateFormat->ListIndex(), 0);
  EXPECT_EQ(SarFolder, "C:\\SR\\C");
  // Silent runs show none of the three notices.
  rt::SilentMode = true;
  Connect("D", "Supplier=Nobody\r\nControl=9\r\nDateFormat=9\r\n");
  EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST_F(SaveRestoreInProcess, ConnectRaisesTheOtherHandlersInOrder) {
  Strings events;
  form->ComboSupplier->on.click = [&] {
    events.push_back("supplier " + form->ComboSupplier->Text());
  };
  form->ComboSteuerung->on.click = [&] { events.push_back("control"); };
  form->ComboDateFormat->on.click = [&] { events.push_back("date"); };
  form->CheckTimeChanging->on.click = [&] { events.push_back("time"); };
  for (int i = 1; i <= 2; ++i)
    form->TextSpeedFactor[i]->on.change = [&, i] { events.push_back("speed" + std::to_string(i)); };
  Connect("A", "Supplier=ACME\r\nControl=1\r\nDateFormat=2\r\nTimeChanging=false\r\n");
  EXPECT_EQ(events, (Strings{"supplier ACME", "control", "date", "speed1", "speed2", "time"}));
  EXPECT_EQ(form->ComboSupplier->ListIndex(), 1);  // the first of two equal entries
  // Case matters: "acme" is unknown; entry 0 is selected once.
  events.clear();
  Connect("B", "Supplier=acme\r\nControl=1\r\nDateFormat=2\r\nTimeChanging=TRUE\r\n");
  EXPECT_EQ(events, (Strings{"supplier **Tarvel & Co**", "time"}));
  EXPECT_EQ(boxes.Texts(),
            Strings{"Unknown supplier (\"acme\") found in  S&R C:\\SR\\B\\parameter\\program.ini"});
  EXPECT_EQ(boxes.boxes[0].title, "Start_Config_Exe");
  EXPECT_TRUE(form->TimeChanging);
}

TEST_F(SaveRestoreInProcess, VersionLabelDatabaseRowsAndListing) {
  const ui::Colour red = ui::Rgb(255, 0, 0);
  Connect("Both", "", {"Program/Korvex.vws", "Program/Korvex.mdb"});
  EXPECT_EQ(form->LabelSARVisuVersion->Caption(), "VisiWin && VWStudio (?)");
  EXPECT_EQ(form->LabelSARVisuVersion->ForeColor(), red);
  Connect("Studio", "", {"Program/Korvex.vws"});  // no korvex.mdb: rows emptied, OK off
  EXPECT_EQ(form->LabelSARVisuVersion->Caption(), "VWStudio");
  EXPECT_EQ(form->LabelSARVisuVersion->ForeColor(), red);
  EXPECT_EQ(form->TextPath[1]->Text(), "");
  EXPECT_FALSE(form->CommandOK->Enabled());
  tree.Write("SR/Win/b/b.mdb", "");
  tree.Write("SR/Win/A/A.mdb", "");
  tree.Write("SR/Win/D/other.mdb", "");  // not named after its folder
  Connect("Win", "", {"Program/Korvex.mdb"});
  EXPECT_EQ(form->LabelSARVisuVersion->Caption(), "VisiWin");
  EXPECT_EQ(form->LabelSARVisuVersion->ForeColor(), ui::kButtonText);
  EXPECT_EQ(form->TextPath[1]->Text(), "C:\\SR\\Win\\program\\Alarmdefinition.mdb");
  EXPECT_TRUE(form->CommandOK->Enabled());
  Strings listed;
  for (int i = 0; i < form->ListSAR->ListCount(); ++i) listed.push_back(form->ListSAR->List(i));
  EXPECT_EQ(listed, (Strings{"Program.ini", "A.mdb", "b.mdb"}));
  EXPECT_TRUE(boxes.boxes.empty());

  // A VWStudio installation takes rows 0 and 2 by the project file; row 1 stays.
  Load("True");
  form->TextPath[1]->SetText("kept");
  Connect("Studio", "", {});
  EXPECT_EQ(form->TextPath[0]->Text(), "C:\\SR\\Studio\\program\\korvex.vws");
  EXPECT_EQ(form->TextPath[1]->Text(), "kept");
  EXPECT_EQ(form->TextPath[2]->Text(), "C:\\SR\\Studio\\program\\Helptext.mdb");
  EXPECT_EQ(form->LabelSARVisuVersion->ForeColor(), ui::kButtonText);
  EXPECT_TRUE(form->CommandOK->Enabled());
  // Undetermined copy in an undetermined installation: not red.
  Load("");
  Connect("Neither", "", {});
  EXPECT_EQ(form->LabelSARVisuVersion->Caption(), "VisiWin && VWStudio (?)");
  EXPECT_EQ(form->LabelSARVisuVersion->ForeColor(), ui::kButtonText);
}

TEST_F(SaveRestoreInProcess, VanishingFolders) {
  // Gone before the folder-change handler looks: no copy.
  Connect("Copy1", "");
  ASSERT_TRUE(form->CommandOK->Enabled());
  tree.Write("SR/Gone/parameter/program.ini", CopyIni({"Filler", "Packer"}));
  form->DirSAR->on.change = [this] {
    std::filesystem::remove_all(tree.Host("SR/Gone"));
    form->DirSAR_Change();
  };
  form->DirSAR->SetPath("C:\\SR\\Gone");
  EXPECT_FALSE(form->CommandOK->Enabled());
  EXPECT_EQ(form->ListSAR->ListCount(), 0);
  EXPECT_EQ(form->TextSpeedFactor[1]->Text(), "");
  EXPECT_TRUE(boxes.boxes.empty());
  // Gone after the look: the listing fails and is reported, the connect goes
  // on and refuses the copy whose names now read as empty.
  form->ConnectSAR("C:\\SR\\Gone");
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_TRUE(Has(boxes.boxes[0].text, "Path not found"));
  EXPECT_EQ(boxes.boxes[1].title, "Error - Wrong Save & Restore!");
  EXPECT_FALSE(form->CommandOK->Enabled());
  EXPECT_FALSE(std::filesystem::exists(tree.Host("SR/Gone")));
}

}  // namespace
