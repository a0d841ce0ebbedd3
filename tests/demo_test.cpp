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

}  // namespace
