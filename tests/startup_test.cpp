// Start-up in-process: the visualisation version and the form's variables the
// set-up fills in (the runs of the executable are cases under tests/cases/).
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

using testsupport::Installation;
using testsupport::TempTree;

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
