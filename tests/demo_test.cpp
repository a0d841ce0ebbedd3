// The embedded demo installation, run end to end as tools/demo.sh runs it: the
// demo tree laid into a temporary drive C:, the step started integrated with
// the demo's own script, and the installation it leaves compared with the
// copy and the source folder it was given.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>

#include "e2e_support.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Installation;
using testsupport::ReadFile;
using testsupport::TempTree;

const std::string kCommandLine =
    "/EXTERNAL=KVXCFG /LOGFILE=C:\\Korvex\\KVXcfglog.txt /SOURCEPATH=C:\\Setup\\";
const std::string kPictures = "Setup/Verschiedenes/Maschinenabhängig/";

// The value of key in the first section of that name, both matched without
// regard to case as the INI services do; nothing when either is missing.
std::optional<std::string> IniValue(const std::string& text, const std::string& section,
                                    const std::string& key) {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  std::istringstream in(text);
  bool inSection = false, seen = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      if (seen && inSection) return std::nullopt;
      inSection = lower(line) == "[" + lower(section) + "]";
      seen = seen || inSection;
      continue;
    }
    const size_t eq = line.find('=');
    if (inSection && eq != std::string::npos && lower(line.substr(0, eq)) == lower(key))
      return line.substr(eq + 1);
  }
  return std::nullopt;
}

// The demo laid into a fresh drive C:, with the built executable in C:\Korvex\Start.
struct Demo {
  TempTree tree;
  std::optional<Installation> korvex;

  Demo() {
    fs::copy(KORVEX_SOURCE_DIR "/demo/installation", tree.root(), fs::copy_options::recursive);
    korvex.emplace(tree);
  }
  std::string Read(const std::string& relative) const { return tree.Read(relative); }
  testsupport::RunResult Run(const std::string& script) const {
    return korvex->Run(kCommandLine, script);
  }
};

TEST(DemoTest, TheDemoTreeIsComplete) {
  const fs::path demo = KORVEX_SOURCE_DIR "/demo/installation";
  // The folder name with the umlaut is stored in UTF-8, as the step asks for it.
  EXPECT_TRUE(fs::is_directory(demo / "Setup/Verschiedenes/Maschinenabh\xC3\xA4ngig/Filler"));
  EXPECT_EQ(ReadFile(demo / "Korvex/Start/Start.cfg"), "[Project]\r\nValidMachines=ALL\r\n");
  for (const char* logo : {"Start_Logo.bmp", "Start_AcmeLogo.bmp", "Start_NordpackLogo.bmp"}) {
    const std::string bmp = ReadFile(demo / "Korvex/Start" / logo);
    ASSERT_GT(bmp.size(), 54u) << logo;
    EXPECT_EQ(bmp.substr(0, 2), "BM") << logo;
  }
  EXPECT_NE(ReadFile(demo / "Korvex/Start/Start_AcmeLogo.bmp"),
            ReadFile(demo / "Korvex/Start/Start_NordpackLogo.bmp"));
  EXPECT_TRUE(fs::exists(demo / "Korvex/program/.keep"));
  EXPECT_TRUE(fs::exists(demo / "Korvex/standard/.keep"));
}

// The demonstration road of tools/demo.sh: refused copy, accepted copy, OK.
TEST(DemoTest, ScriptedRoadCommitsTheAcceptedCopy) {
  Demo demo;
  const auto run = demo.Run(ReadFile(KORVEX_SOURCE_DIR "/demo/demo.script"));
  ASSERT_EQ(run.status, 0) << run.transcript << run.errors;
  EXPECT_NE(run.transcript.find("msgbox title=\"Error - Wrong Save & Restore!\""),
            std::string::npos);
  EXPECT_NE(run.transcript.find("Machine 2 S&R: Seamer New Visualation:Capper"), std::string::npos);
  EXPECT_NE(run.transcript.find("process ended with status 0"), std::string::npos);
  // Both machine copies that hold their database are listed; Labeler holds none.
  EXPECT_NE(run.transcript.find("Filler.mdb"), std::string::npos);
  EXPECT_NE(run.transcript.find("Capper.mdb"), std::string::npos);
  EXPECT_EQ(run.transcript.find("Labeler.mdb"), std::string::npos);
  // A clean run reports nothing.
  EXPECT_FALSE(demo.tree.Exists("Korvex/KVXcfglog.txt")) << demo.Read("Korvex/KVXcfglog.txt");

  const std::string ini = demo.Read("Korvex/parameter/Program.ini");
  auto project = [&](const char* key) { return IniValue(ini, "Project", key).value_or("<none>"); };
  EXPECT_EQ(project("Supplier"), "Acme");
  EXPECT_EQ(project("Control"), "1");
  EXPECT_EQ(project("DateFormat"), "1");
  EXPECT_EQ(project("TimeChanging"), "false");
  EXPECT_EQ(project("NumberOfRejects"), "48");
  EXPECT_EQ(project("NumberOfAlarms"), "300");
  EXPECT_EQ(project("NumberOfWarnings"), "256");
  EXPECT_EQ(project("FaultWithMachineNumber"), "true");
  EXPECT_EQ(project("NumberOfMachines"), "3");
  EXPECT_EQ(project("Resolution"), "1024");
  EXPECT_EQ(project("ProjectName"), "Line 4 Bottling");  // keys of its own stay
  const char* names[] = {"Filler", "Capper", "Labeler"};
  const char* speeds[] = {"120", "1", "80"};  // the copy's 1.5 arrives cut to 1
  for (int m = 1; m <= 3; ++m) {
    const std::string section = "Machine" + std::to_string(m);
    EXPECT_EQ(IniValue(ini, section, "MachineName").value_or(""), names[m - 1]);
    EXPECT_EQ(IniValue(ini, section, "SpeedFactor").value_or(""), speeds[m - 1]) << section;
    EXPECT_EQ(IniValue(ini, section, "NumberOfCams").value_or(""), "0");
    EXPECT_TRUE(IniValue(ini, section, "PlcAddress").has_value());
  }
  EXPECT_EQ(IniValue(demo.Read("Korvex/TarvelPresets.ini"), "Project", "FormatOfDate"), "1");
  const std::string config = demo.Read("Korvex/parameter/kvxconfiguration.ini");
  EXPECT_EQ(IniValue(config, "Common", "SaveAndRestore"), "C:\\SaveRestore\\Copy_2025_Line1");
  EXPECT_EQ(IniValue(config, "Common", "ConfigExeCancel"), "False");
  EXPECT_TRUE(IniValue(demo.Read("Korvex/Start/Start.cfg"), "Info", "S_Prog").has_value());

  // Databases from the copy and the source folder, byte for byte.
  const std::string copy = "SaveRestore/Copy_2025_Line1/Program/";
  EXPECT_EQ(demo.Read("Korvex/program/Korvex.mdb"), demo.Read(copy + "Korvex.mdb"));
  EXPECT_EQ(demo.Read("Korvex/program/AlarmDefinition.mdb"),
            demo.Read(copy + "Alarmdefinition.mdb"));
  EXPECT_EQ(demo.Read("Korvex/program/HelpText.mdb"), demo.Read(copy + "Helptext.mdb"));
  EXPECT_EQ(demo.Read("Korvex/parameter/Brand.mdb"),
            demo.Read("Setup/Verschiedenes/parameter/Brand.mdb"));

  // Pictures: the Filler has all sixteen of its own, the Capper only the
  // stand-by, the Labeler three of its own and the stand-by for the rest.
  auto source = [&](const std::string& machine, const std::string& file) {
    const std::string bytes = demo.Read(kPictures + machine + "/Standard/" + file);
    EXPECT_FALSE(bytes.empty()) << machine << "/" << file;
    return bytes;
  };
  for (int k = 1; k <= 16; ++k) {
    char nn[3];
    std::snprintf(nn, sizeof nn, "%02d", k);
    const std::string warn = std::string("Warn_") + nn + "_";
    const std::string filler = warn + "Filler_1024.bmp";
    EXPECT_EQ(demo.Read("Korvex/standard/" + filler), source("Filler", filler)) << filler;
    EXPECT_EQ(demo.Read("Korvex/standard/" + warn + "Capper_1024.bmp"),
              source("Capper", "Warn_xx_xxx_1024.bmp"))
        << k;
    const std::string labeler = warn + "Labeler_1024.bmp";
    EXPECT_EQ(demo.Read("Korvex/standard/" + labeler),
              source("Labeler", k <= 3 ? labeler : "Warn_xx_xxx_1024.bmp"))
        << labeler;
  }
  // The stand-by itself arrives with each folder; the last machine's wins.
  EXPECT_EQ(demo.Read("Korvex/standard/Warn_xx_xxx_1024.bmp"),
            source("Labeler", "Warn_xx_xxx_1024.bmp"));
  for (const char* machine : names) {
    const std::string symbol = std::string("MachineSymbol_") + machine + "_1024.gif";
    EXPECT_EQ(demo.Read("Korvex/standard/" + symbol), source(machine, symbol)) << symbol;
  }
  // A picture of another resolution comes along with its folder.
  EXPECT_EQ(demo.Read("Korvex/standard/MachineSymbol_Filler_1280.gif"),
            source("Filler", "MachineSymbol_Filler_1280.gif"));
  EXPECT_TRUE(demo.tree.Exists("Korvex/standard/.keep"));
}

// The two other copies of the demo: one refused, one that leaves OK disabled.
TEST(DemoTest, OtherCopiesDoNotEnableOK) {
  {
    Demo demo;
    const std::string programIni = demo.Read("Korvex/parameter/Program.ini");
    const auto run = demo.Run("dir C:\\SaveRestore\\Copy_2019_OtherLine\ndump\n");
    EXPECT_EQ(run.status, 3) << run.transcript << run.errors;
    EXPECT_NE(run.transcript.find("Machine 3 S&R: Palletizer New Visualation:Labeler"),
              std::string::npos);
    EXPECT_NE(run.transcript.find("CommandOK CommandButton visible=1 shown=1 enabled=0"),
              std::string::npos)
        << run.transcript;
    const std::string config = demo.Read("Korvex/parameter/kvxconfiguration.ini");
    EXPECT_EQ(IniValue(config, "Common", "ConfigExeCancel"), "Start_Config");
    // Nothing is written but the start-up's section line.
    EXPECT_EQ(demo.Read("Korvex/parameter/Program.ini"), programIni + "[Project]\r\n");
    EXPECT_FALSE(demo.tree.Exists("Korvex/program/Korvex.mdb"));
  }
  {
    Demo demo;
    const auto run = demo.Run("dir C:\\SaveRestore\\Copy_VWStudio\ndump\n");
    EXPECT_EQ(run.status, 3) << run.transcript << run.errors;
    EXPECT_NE(run.transcript.find("LabelSARVisuVersion Label visible=1 shown=1 enabled=1 "
                                  "caption=\"VWStudio\""),
              std::string::npos)
        << run.transcript;
    EXPECT_NE(run.transcript.find("CommandOK CommandButton visible=1 shown=1 enabled=0"),
              std::string::npos);
    EXPECT_NE(run.transcript.find("TextPath(0) TextBox visible=1 shown=1 enabled=1 text=\"\""),
              std::string::npos);
    // The machines match, so the copy is not refused; the script then ends with
    // the window open, which leaves the cancel mark.
    EXPECT_EQ(run.transcript.find("Wrong Save & Restore"), std::string::npos);
    const std::string config = demo.Read("Korvex/parameter/kvxconfiguration.ini");
    EXPECT_EQ(IniValue(config, "Common", "ConfigExeCancel"), "Start_Config");
  }
}

}  // namespace
