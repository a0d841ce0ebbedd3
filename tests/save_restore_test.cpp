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

using testsupport::Installation;
using testsupport::TempTree;
using Strings = std::vector<std::string>;

// A copy's program.ini: the project lines, then per machine its name and a
// speed factor of 3, 4, ...
std::string CopyIni(const Strings& names, const std::string& project = "") {
  std::string ini = "[Project]\r\n" + project;
  for (size_t i = 0; i < names.size(); ++i)
    ini += "[Machine" + std::to_string(i + 1) + "]\r\nMachineName=" + names[i] +
           "\r\nSpeedFactor=" + std::to_string(i + 3) + "\r\n";
  return ini;
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
  EXPECT_NE(boxes.boxes[0].text.find("Path not found"), std::string::npos);
  EXPECT_EQ(boxes.boxes[1].title, "Error - Wrong Save & Restore!");
  EXPECT_FALSE(form->CommandOK->Enabled());
  EXPECT_FALSE(std::filesystem::exists(tree.Host("SR/Gone")));
}

}  // namespace
