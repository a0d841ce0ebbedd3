// The Save & Restore selection and takeover: which folder is a copy, what is
// taken over, when a copy is refused, and what is left for the configuration
// tool in kvxconfiguration.ini.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "form/start_config_form.h"
#include "platform/process.h"
#include "runtime/command_line.h"
#include "runtime/config_paths.h"
#include "test_support.h"

namespace {

using testsupport::Installation;
using testsupport::TempTree;
using Machines = std::vector<std::string>;

const std::string kBaseKvx =
    "[Common]\r\nNameM1=Filler\r\nNameM2=Packer\r\nMonitorRes=1024\r\nVWStudio=False\r\n";

std::string TinyBitmap() {
  std::string b = "BM";
  auto le = [&b](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  le(58, 4), le(0, 4), le(54, 4);
  le(40, 4), le(1, 4), le(1, 4), le(1, 2), le(24, 2);
  le(0, 4), le(4, 4), le(2835, 4), le(2835, 4), le(0, 4), le(0, 4);
  le(0, 4);
  return b;
}

// A copy's program.ini: the project lines, then one section per machine with
// its name and a speed factor of 3, 4, ...
std::string CopyIni(const Machines& names, const std::string& project = "") {
  std::string ini = "[Project]\r\n" + project;
  for (size_t i = 0; i < names.size(); ++i)
    ini += "[Machine" + std::to_string(i + 1) + "]\r\nMachineName=" + names[i] +
           "\r\nSpeedFactor=" + std::to_string(i + 3) + "\r\n";
  return ini;
}

std::string DumpLine(const std::string& transcript, const std::string& control) {
  const std::string key = "\n  " + control + " ";
  const size_t at = transcript.rfind(key);
  if (at == std::string::npos) return "<no dump of " + control + ">";
  return transcript.substr(at + 3, transcript.find('\n', at + 1) - at - 3);
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

constexpr const char* kRefusalBox =
    "msgbox title=\"Error - Wrong Save & Restore!\" icon=stop buttons=OK default=OK\n";
constexpr const char* kCopy1Ini = "C:\\SR\\Copy1\\parameter\\program.ini";

class SaveRestoreE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    inst.Configure({"Filler", "Packer"});
    inst.ValidMachines("ALL");
    inst.Write("Start/Start_Logo.bmp", TinyBitmap());
    tree.Write("SR/Copy1/parameter/program.ini", CopyIni({"Filler", "Packer"}));
    tree.Write("SR/Copy1/program/korvex.mdb", "");
    tree.Write("SR/Bad/parameter/program.ini", CopyIni({"Filler", "Wrapper", "Extra"}));
  }
  testsupport::RunResult Run(const std::string& script) {
    inst.Configure({"Filler", "Packer"});  // every run starts from the same tool INI
    return inst.Run(inst.Integrated(), script);
  }
  TempTree tree{"D"};
  Installation inst{tree};
};

TEST_F(SaveRestoreE2E, AcceptedRefusedAndAcceptedAgain) {
  auto run = Run("dir C:\\SR\\Copy1\n");
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(inst.Read("parameter/kvxconfiguration.ini"),
            kBaseKvx + "SaveAndRestore=C:\\SR\\Copy1\r\nConfigExeCancel=False\r\n");

  run = Run("dir C:\\SR\\Copy1\ndir C:\\SR\\Bad\ndump\n");
  EXPECT_EQ(inst.Read("parameter/kvxconfiguration.ini"),
            kBaseKvx + "SaveAndRestore=C:\\SR\\Bad\r\nConfigExeCancel=Start_Config\r\n");
  // The refused copy took everything over up to the comparison, but not the paths.
  EXPECT_EQ(DumpLine(run.transcript, "TextSpeedFactor(2)"),
            "TextSpeedFactor(2) TextBox visible=1 shown=1 enabled=1 text=\"4\"");
  EXPECT_EQ(DumpLine(run.transcript, "TextPath(0)"),
            "TextPath(0) TextBox visible=1 shown=1 enabled=1 "
            "text=\"C:\\SR\\Copy1\\program\\korvex.mdb\"");
  EXPECT_TRUE(Has(DumpLine(run.transcript, "CommandOK"), "enabled=0"));

  run = Run("dir C:\\SR\\Copy1\ndir C:\\SR\\Bad\ndir C:\\SR\\Copy1\ndump\n");
  const std::string transcript = run.transcript.substr(0, run.transcript.find("> dump"));
  EXPECT_EQ(transcript,
            "window shown caption=\"Erweiterte Konfiguration Start - integriert\"\n"
            "> dir C:\\SR\\Copy1\n"
            "> dir C:\\SR\\Bad\n" +
                std::string(kRefusalBox) +
                "  text=\"Please select a different \"Save & Restore\"!<LF><CR>"
                "Machineconfiguration differs<LF><CR>"
                "Machine 2 S&R: Wrapper New Visualation:Packer<LF><CR>\"\n"
                "  answer=OK (default)\n"
                "> dir C:\\SR\\Copy1\n");
  EXPECT_EQ(inst.Read("parameter/kvxconfiguration.ini"),
            kBaseKvx + "SaveAndRestore=C:\\SR\\Copy1\r\nConfigExeCancel=False\r\n");
  EXPECT_TRUE(Has(DumpLine(run.transcript, "CommandOK"), "enabled=1"));
  EXPECT_EQ(DumpLine(run.transcript, "ListSAR"),
            "ListSAR ListBox visible=1 shown=1 enabled=1 list=[Program.ini]");
  EXPECT_EQ(DumpLine(run.transcript, "TextPath(1)"),
            "TextPath(1) TextBox visible=1 shown=1 enabled=1 "
            "text=\"C:\\SR\\Copy1\\program\\Alarmdefinition.mdb\"");

  // Refused, then a folder that is no copy: the cancel mark stays.
  Run("dir C:\\SR\\Bad\ndir C:\\SR\n");
  EXPECT_EQ(inst.Read("parameter/kvxconfiguration.ini"),
            kBaseKvx + "SaveAndRestore=\r\nConfigExeCancel=Start_Config\r\n");
}

TEST_F(SaveRestoreE2E, NoCopyResetKeepsSelectionsAndAlwaysDisablesOK) {
  tree.Write("SR/Copy1/parameter/program.ini",
             CopyIni({"Filler", "Packer"}, "Control=1\r\nDateFormat=2\r\nTimeChanging=false\r\n"));
  auto run = Run("dir C:\\SR\\Copy1\ndir C:\\SR\ndump\n");
  EXPECT_EQ(run.status, 3);
  EXPECT_TRUE(Has(DumpLine(run.transcript, "CommandOK"), "enabled=0"));
  EXPECT_TRUE(Has(DumpLine(run.transcript, "ListSAR"), "list=[]"));
  EXPECT_TRUE(Has(DumpLine(run.transcript, "TextSpeedFactor(1)"), "enabled=1 text=\"\""));
  EXPECT_TRUE(Has(DumpLine(run.transcript, "TextSpeedFactor(2)"), "enabled=1 text=\"\""));
  EXPECT_TRUE(Has(DumpLine(run.transcript, "CheckTimeChanging"), "value=1"));
  EXPECT_TRUE(Has(DumpLine(run.transcript, "ComboSteuerung"), "list=[Beckhoff|*Siemens]"));
  EXPECT_TRUE(Has(DumpLine(run.transcript, "ComboDateFormat"), "|*JJJJ/MM/TT]"));
  EXPECT_TRUE(Has(DumpLine(run.transcript, "TextPath(2)"), "Copy1\\program\\Helptext.mdb"));
  EXPECT_TRUE(Has(DumpLine(run.transcript, "LabelSARVisuVersion"), "caption=\"VisiWin\""));
  EXPECT_EQ(inst.Read("parameter/kvxconfiguration.ini"),
            kBaseKvx + "SaveAndRestore=\r\nConfigExeCancel=False\r\n");

  // A copy at the root of the current drive is connected while the window is
  // set up and accepted; the final reset must still leave OK disabled, or OK
  // would commit a copy that is no longer connected.
  tree.Write("parameter/program.ini", CopyIni({"Filler", "Packer"}));
  tree.Write("program/korvex.mdb", "");
  run = Run("dump\n");
  EXPECT_TRUE(Has(DumpLine(run.transcript, "CommandOK"), "enabled=0"));
  EXPECT_EQ(inst.Read("parameter/kvxconfiguration.ini"),
            kBaseKvx + "SaveAndRestore=\r\nConfigExeCancel=False\r\n");
  run = Run("dir C:\\SR\\Copy1\ndir C:\\SR\ndump\n");
  EXPECT_TRUE(Has(DumpLine(run.transcript, "CommandOK"), "enabled=0"));
}

TEST_F(SaveRestoreE2E, UnknownSupplierControlAndDateFormatAreNamedButAccepted) {
  tree.Write("SR/Copy2/parameter/program.ini",
             CopyIni({"Filler", "Packer"}, "DateFormat=1\r\nControl=1\r\n"));
  tree.Write("SR/Copy1/parameter/program.ini",
             CopyIni({"Filler", "Packer"}, "Supplier=Nobody\r\nControl=5\r\nDateFormat=3\r\n"));
  auto run = Run("dir C:\\SR\\Copy2\ndir C:\\SR\\Copy1\ndump\n");
  const std::string box =
      "msgbox title=\"Start_Config_Exe\" icon=none buttons=OK default=OK\n  text=\"";
  const std::string ini = kCopy1Ini;
  EXPECT_TRUE(Has(run.transcript,
                  "> dir C:\\SR\\Copy1\n" + box + "Unknown supplier (\"Nobody\") found in  S&R " +
                      ini + "\"\n  answer=OK (default)\n" + box +
                      "Unknown control (\"5\") found in  S&R " + ini +
                      "\"\n  answer=OK (default)\n" + box + "Unknown dateformat (3) found in S&R " +
                      ini + "\"\n  answer=OK (default)\n> dump\n"))
      << run.transcript;
  EXPECT_TRUE(Has(DumpLine(run.transcript, "ComboSupplier"), "list=[***Tarvel & Co**]"));
  EXPECT_TRUE(Has(DumpLine(run.transcript, "ComboSteuerung"), "list=[*Beckhoff|Siemens]"));
  EXPECT_TRUE(Has(DumpLine(run.transcript, "ComboDateFormat"), "list=[MM-TT-JJJJ|*TT.MM.JJJJ|"));
  EXPECT_TRUE(Has(DumpLine(run.transcript, "CommandOK"), "enabled=1"));
  EXPECT_EQ(inst.Read("parameter/kvxconfiguration.ini"),
            kBaseKvx + "SaveAndRestore=C:\\SR\\Copy1\r\nConfigExeCancel=False\r\n");
}

TEST_F(SaveRestoreE2E, BrokenCopiesAreSurvived) {
  // Binary junk (a fixed sequence), an empty file, 10,000 sections before the
  // real ones.
  std::minstd_rand bytes(7);
  std::string junk;
  for (int i = 0; i < 20000; ++i) junk.push_back(static_cast<char>(bytes() & 0xFF));
  tree.Write("SR/Junk/parameter/program.ini", junk);
  tree.Write("SR/Empty/parameter/program.ini", "");
  std::string big;
  for (int i = 0; i < 10000; ++i)
    big += "[S" + std::to_string(i) + "]\r\nKey=" + std::to_string(i) + "\r\n";
  tree.Write("SR/Big/parameter/program.ini", big + CopyIni({"Filler", "Packer"}));
  tree.Write("SR/Big/program/korvex.mdb", "");

  auto run = Run("dir C:\\SR\\Junk\ndir C:\\SR\\Empty\ndir C:\\SR\\Big\ndump\n");
  EXPECT_EQ(run.status, 3) << run.errors;
  const std::string emptyNames =
      "Machine 1 S&R:  New Visualation:Filler<LF><CR>Machine 2 S&R:  New "
      "Visualation:Packer<LF><CR>";
  EXPECT_TRUE(Has(run.transcript, "> dir C:\\SR\\Empty\n" + std::string(kRefusalBox) +
                                      "  text=\"Please select a different \"Save & Restore\"!"
                                      "<LF><CR>Machineconfiguration differs<LF><CR>" +
                                      emptyNames +
                                      "\"\n  answer=OK (default)\n> dir C:\\SR\\Big\n> dump"))
      << run.transcript;
  EXPECT_TRUE(Has(run.transcript, "> dir C:\\SR\\Junk\n"));
  EXPECT_FALSE(Has(run.transcript, "Unexpected error"));
  EXPECT_TRUE(Has(DumpLine(run.transcript, "CommandOK"), "enabled=1"));
  EXPECT_TRUE(Has(DumpLine(run.transcript, "TextSpeedFactor(1)"), "text=\"3\""));
  EXPECT_EQ(inst.Read("parameter/kvxconfiguration.ini"),
            kBaseKvx + "SaveAndRestore=C:\\SR\\Big\r\nConfigExeCancel=False\r\n");
  // Nothing is ever written into a copy.
  EXPECT_EQ(tree.Read("SR/Junk/parameter/program.ini"), junk);
  EXPECT_EQ(tree.Read("SR/Empty/parameter/program.ini"), "");
}

TEST_F(SaveRestoreE2E, OddNamesDriveRootsAndUnreadableFiles) {
  // Machine names holding "=" and ";" match through both INI files.
  tree.Write("SR/Odd/parameter/program.ini", CopyIni({"Fill=er", "Pack;er"}));
  const std::string kvx = "[Common]\r\nNameM1=Fill=er\r\nNameM2=Pack;er\r\nVWStudio=False\r\n";
  inst.Write("parameter/kvxconfiguration.ini", kvx);
  auto run = inst.Run(inst.Integrated(), "dir C:\\SR\\Odd\ndump\n");
  EXPECT_FALSE(Has(run.transcript, "msgbox")) << run.transcript;
  EXPECT_TRUE(Has(DumpLine(run.transcript, "LabelSpeedFactor(1)"), "caption=\"Fill=er\""));
  EXPECT_TRUE(Has(DumpLine(run.transcript, "LabelSpeedFactor(2)"), "caption=\"Pack;er\""));
  EXPECT_EQ(inst.Read("parameter/kvxconfiguration.ini"),
            kvx + "SaveAndRestore=C:\\SR\\Odd\r\nConfigExeCancel=False\r\n");

  // A copy on the root of drive D: doubles the backslash after the root.
  tree.Write("drive-D/parameter/program.ini", CopyIni({"Filler", "Packer"}));
  tree.Write("drive-D/program/korvex.mdb", "");
  run = Run("drive d:\ndump\n");
  EXPECT_FALSE(Has(run.transcript, "msgbox")) << run.transcript;
  EXPECT_TRUE(Has(DumpLine(run.transcript, "TextPath(0)"), "text=\"D:\\\\program\\korvex.mdb\""));
  EXPECT_TRUE(Has(DumpLine(run.transcript, "CommandOK"), "enabled=1"));
  EXPECT_EQ(inst.Read("parameter/kvxconfiguration.ini"),
            kBaseKvx + "SaveAndRestore=D:\\\r\nConfigExeCancel=False\r\n");

  // A settings file nobody may read is present, so the folder counts as a
  // copy, but every key reads as missing: refused without a run-time failure.
  tree.Write("SR/Locked/parameter/program.ini", CopyIni({"Filler", "Packer"}));
  chmod(tree.Host("SR/Locked/parameter/program.ini").c_str(), 0);
  run = Run("dir C:\\SR\\Locked\n");
  EXPECT_EQ(run.status, 3);
  EXPECT_TRUE(Has(run.transcript, kRefusalBox));
  EXPECT_FALSE(Has(run.transcript, "Unexpected error"));
  EXPECT_EQ(inst.Read("parameter/kvxconfiguration.ini"),
            kBaseKvx + "SaveAndRestore=C:\\SR\\Locked\r\nConfigExeCancel=Start_Config\r\n");
}

// In-process: the takeover values, the visualisation label and the order in
// which the connect raises the other handlers.
class SaveRestoreInProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    inst.ValidMachines("ALL");
    inst.Write("Start/Start_Logo.bmp", TinyBitmap());
    inst.Write("Start/START_ACMELOGO.BMP", TinyBitmap());
    inst.Write("Start/start_ACMElogo.bmp", TinyBitmap());  // a second "ACME"
    rt::ExistingMachines.clear();
    SarFolder.clear();
  }
  void TearDown() override {
    rt::ExistingMachines.clear();
    rt::IntegratedMode = false;
    rt::SilentMode = false;
    SarFolder.clear();
  }
  void Load(const std::string& vwStudio = "False") {
    inst.Configure({"Filler", "Packer"}, "1024", vwStudio);
    platform::SetProcessForTesting("/EXTERNAL=KVXCFG", "C:\\Korvex\\Start", "Start_Config");
    form.reset();  // the texts go to the first loaded window
    rt::ExistingMachines.clear();
    form = std::make_unique<frm_Start_Config_Exe>();
    form->Form_Load();
    ASSERT_TRUE(boxes.boxes.empty());
  }
  void Connect(const std::string& folder, const std::string& project,
               const std::vector<std::string>& files = {"program/korvex.mdb"}) {
    tree.Write("SR/" + folder + "/parameter/program.ini", CopyIni({"Filler", "Packer"}, project));
    for (const std::string& f : files) tree.Write("SR/" + folder + "/" + f, "");
    form->DirSAR->SetPath("C:\\SR\\" + folder);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& b : boxes.boxes) texts.push_back(b.text);
    return texts;
  }

  TempTree tree;
  Installation inst{tree};
  testsupport::BoxRecorder boxes;
  std::unique_ptr<frm_Start_Config_Exe> form;
};

TEST_F(SaveRestoreInProcess, CountersAreRaisedToTheirMinimums) {
  Load();
  Connect("A", "NumberOfRejects=12\r\nNumberOfWarnings=300\r\nFaultWithMachineNumber=TRUE\r\n");
  EXPECT_EQ(form->NumberOfRejects, 48);
  EXPECT_EQ(form->NumberOfAlarms, 256);  // missing
  EXPECT_EQ(form->NumberOfWarnings, 300);
  EXPECT_TRUE(form->FaultWithMachineNumber);
  Connect("B", "NumberOfRejects=100\r\nNumberOfAlarms=-7\r\nNumberOfWarnings=255\r\n");
  EXPECT_EQ(form->NumberOfRejects, 100);
  EXPECT_EQ(form->NumberOfAlarms, 256);
  EXPECT_EQ(form->NumberOfWarnings, 256);
  EXPECT_FALSE(form->FaultWithMachineNumber);
  EXPECT_EQ(SarFolder, "C:\\SR\\B");
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(SaveRestoreInProcess, ControlAndDateFormatLimits) {
  Load();
  Connect("A", "Control=-3\r\nDateFormat=2\r\n");
  EXPECT_EQ(form->ComboSteuerung->ListIndex(), 0);
  EXPECT_EQ(form->ComboDateFormat->ListIndex(), 2);
  EXPECT_TRUE(boxes.boxes.empty());
  // Below -1 is no list index: reported like a value beyond the list, and the
  // selection stays.
  Connect("B", "Control=1\r\nDateFormat=-5\r\n");
  EXPECT_EQ(form->ComboSteuerung->ListIndex(), 1);
  EXPECT_EQ(form->ComboDateFormat->ListIndex(), 2);
  EXPECT_EQ(Texts(), std::vector<std::string>{
                         "Unknown dateformat (-5) found in S&R C:\\SR\\B\\parameter\\program.ini"});
  Connect("C", "");  // missing: -1 counts as 0
  EXPECT_EQ(form->ComboDateFormat->ListIndex(), 0);
  EXPECT_EQ(form->ComboSteuerung->ListIndex(), 0);
  EXPECT_EQ(boxes.boxes.size(), 1u);

  // Silent runs show none of the three notices.
  boxes.boxes.clear();
  rt::SilentMode = true;
  Connect("D", "Supplier=Nobody\r\nControl=9\r\nDateFormat=9\r\n");
  EXPECT_TRUE(boxes.boxes.empty());
  EXPECT_EQ(form->ComboSupplier->ListIndex(), 0);
}

TEST_F(SaveRestoreInProcess, ConnectRaisesTheOtherHandlersInOrder) {
  Load();
  ASSERT_EQ(form->ComboSupplier->ListCount(), 3);
  std::vector<std::string> events;
  form->ComboSupplier->on.click = [&] {
    events.push_back("supplier " + form->ComboSupplier->Text());
  };
  form->ComboSteuerung->on.click = [&] { events.push_back("control"); };
  form->ComboDateFormat->on.click = [&] { events.push_back("date"); };
  form->CheckTimeChanging->on.click = [&] { events.push_back("time"); };
  for (int i = 1; i <= 2; ++i)
    form->TextSpeedFactor[i]->on.change = [&, i] { events.push_back("speed" + std::to_string(i)); };
  Connect("A", "Supplier=ACME\r\nControl=1\r\nDateFormat=2\r\nTimeChanging=false\r\n");
  EXPECT_EQ(events, (std::vector<std::string>{"supplier ACME", "control", "date", "speed1",
                                              "speed2", "time"}));
  EXPECT_EQ(form->ComboSupplier->ListIndex(), 1);  // the first of the two equal entries
  EXPECT_FALSE(form->TimeChanging);

  // Case matters: "acme" is unknown, and entry 0 is selected once.
  events.clear();
  Connect("B", "Supplier=acme\r\nControl=1\r\nDateFormat=2\r\nTimeChanging=TRUE\r\n");
  EXPECT_EQ(events, (std::vector<std::string>{"supplier **Tarvel & Co**", "time"}));
  EXPECT_EQ(Texts(),
            std::vector<std::string>{
                "Unknown supplier (\"acme\") found in  S&R C:\\SR\\B\\parameter\\program.ini"});
  EXPECT_TRUE(form->TimeChanging);
}

TEST_F(SaveRestoreInProcess, VersionLabelAndDatabaseRows) {
  Load();  // VisiWin installation
  Connect("Both", "", {"Program/Korvex.vws", "Program/Korvex.mdb"});
  EXPECT_EQ(form->SARVisuVersion, 0);
  EXPECT_EQ(form->LabelSARVisuVersion->Caption(), "VisiWin && VWStudio (?)");
  EXPECT_EQ(form->LabelSARVisuVersion->ForeColor(), ui::Rgb(255, 0, 0));
  Connect("Studio", "", {"Program/Korvex.vws"});
  EXPECT_EQ(form->LabelSARVisuVersion->Caption(), "VWStudio");
  EXPECT_EQ(form->LabelSARVisuVersion->ForeColor(), ui::Rgb(255, 0, 0));
  // No korvex.mdb: every row emptied and OK disabled, without a message.
  EXPECT_EQ(form->TextPath[1]->Text(), "");
  EXPECT_FALSE(form->CommandOK->Enabled());
  Connect("Win", "", {"Program/Korvex.mdb"});
  EXPECT_EQ(form->LabelSARVisuVersion->Caption(), "VisiWin");
  EXPECT_EQ(form->LabelSARVisuVersion->ForeColor(), ui::kButtonText);
  EXPECT_EQ(form->TextPath[1]->Text(), "C:\\SR\\Win\\program\\Alarmdefinition.mdb");
  EXPECT_TRUE(form->CommandOK->Enabled());
  EXPECT_TRUE(boxes.boxes.empty());

  // A VWStudio installation takes rows 0 and 2 by the project file; row 1 stays.
  Load("True");
  form->TextPath[1]->SetText("kept");
  Connect("Studio2", "", {"program/korvex.vws"});
  EXPECT_EQ(form->TextPath[0]->Text(), "C:\\SR\\Studio2\\program\\korvex.vws");
  EXPECT_EQ(form->TextPath[1]->Text(), "kept");
  EXPECT_EQ(form->TextPath[2]->Text(), "C:\\SR\\Studio2\\program\\Helptext.mdb");
  EXPECT_EQ(form->LabelSARVisuVersion->ForeColor(), ui::kButtonText);
  EXPECT_TRUE(form->CommandOK->Enabled());

  // Neither project file: undetermined, in the button-text colour only for an
  // undetermined installation.
  Load("");
  Connect("Neither", "", {});
  EXPECT_EQ(form->LabelSARVisuVersion->Caption(), "VisiWin && VWStudio (?)");
  EXPECT_EQ(form->LabelSARVisuVersion->ForeColor(), ui::kButtonText);
}

TEST_F(SaveRestoreInProcess, MachineDatabasesAreListedInNameOrder) {
  Load();
  tree.Write("SR/Copy/b/b.mdb", "");
  tree.Write("SR/Copy/A/A.mdb", "");
  tree.MakeFolder("SR/Copy/C");           // no database
  tree.Write("SR/Copy/D/other.mdb", "");  // not named after its folder
  Connect("Copy", "");
  std::vector<std::string> listed;
  for (int i = 0; i < form->ListSAR->ListCount(); ++i) listed.push_back(form->ListSAR->List(i));
  EXPECT_EQ(listed, (std::vector<std::string>{"Program.ini", "A.mdb", "b.mdb"}));
}

TEST_F(SaveRestoreInProcess, VanishingFolders) {
  Load();
  // The copy goes away before the folder-change handler looks: no copy.
  tree.Write("SR/Gone/parameter/program.ini", CopyIni({"Filler", "Packer"}));
  Connect("Copy1", "");
  ASSERT_TRUE(form->CommandOK->Enabled());
  form->DirSAR->on.change = [this] {
    std::filesystem::remove_all(tree.Host("SR/Gone"));
    form->DirSAR_Change();
  };
  form->DirSAR->SetPath("C:\\SR\\Gone");
  EXPECT_FALSE(form->CommandOK->Enabled());
  EXPECT_EQ(form->ListSAR->ListCount(), 0);
  EXPECT_EQ(form->TextSpeedFactor[1]->Text(), "");
  EXPECT_TRUE(boxes.boxes.empty());

  // It goes away after the look: the listing fails and is reported, the
  // connect goes on and refuses the copy whose names now read as empty.
  form->ConnectSAR("C:\\SR\\Gone");
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[0].title, "Unexpected error");
  EXPECT_TRUE(Has(boxes.boxes[0].text, "Path not found"));
  EXPECT_EQ(boxes.boxes[1].title, "Error - Wrong Save & Restore!");
  EXPECT_FALSE(form->CommandOK->Enabled());
  EXPECT_FALSE(std::filesystem::exists(tree.Host("SR/Gone")));  // nothing created
}

}  // namespace
