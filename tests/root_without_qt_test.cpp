// The step on a machine without Qt: a root in the test's folder that holds the
// demo, the executable and only what ldd names for it, entered by chroot in a
// mount and process namespace of its own (so that it has its own /proc).
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "tmux_support.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Files;
using testsupport::Output;

const std::vector<std::string> kArguments = {
    "/EXTERNAL=KVXCFG", "/LOGFILE=C:\\Korvex\\KVXcfglog.txt", "/SOURCEPATH=C:\\Setup\\"};

struct Root {
  testsupport::DemoTree demo;  // drive C: is the root itself
  std::string enter;           // the command that runs what follows it inside
  Root() {
    const fs::path root = demo.tree.root();
    testsupport::LayStep(root / "Korvex/Start/Start_Config", false);
    fs::copy_file(KORVEX_SOURCE_DIR "/demo/demo.script", root / "demo.script");
    std::istringstream listing(Output({"ldd", START_CONFIG_EXE}));
    for (std::string word; listing >> word;) {
      if (word[0] != '/') continue;
      fs::create_directories(root / fs::path(word).relative_path().parent_path());
      fs::copy_file(word, root / fs::path(word).relative_path(),
                    fs::copy_options::overwrite_existing);
    }
    // The terminal descriptions tmux's terminals need, as a minimal image has them.
    for (const char* name : {"screen", "screen-256color", "tmux", "tmux-256color"})
      for (const char* base : {"/lib/terminfo/", "/usr/share/terminfo/"}) {
        const fs::path entry = fs::path(base) / std::string(1, name[0]) / name;
        if (!fs::exists(entry)) continue;
        fs::create_directories(root / entry.relative_path().parent_path());
        fs::copy_file(entry, root / entry.relative_path(), fs::copy_options::overwrite_existing);
      }
    fs::create_directory(root / "proc");
    enter = "/usr/bin/unshare --mount --pid --fork --mount-proc=" + (root / "proc").string() +
            " /usr/sbin/chroot " + root.string();
  }
  // Runs the step inside with exactly this environment (and KORVEX_DRIVES).
  std::string Run(std::vector<std::string> env, std::vector<std::string> args, int* status) {
    std::vector<std::string> command{"env", "-i", "USERNAME=installer", "KORVEX_DRIVES=C=/"};
    command.insert(command.end(), env.begin(), env.end());
    std::istringstream words(enter);
    for (std::string w; words >> w;) command.push_back(w);
    command.push_back("/Korvex/Start/Start_Config");
    command.insert(command.end(), args.begin(), args.end());
    return Output(command, status, true);
  }
};

class RootWithoutQt : public tmuxsupport::TerminalWindow {
 protected:
  void SetUp() override {
    int status = -1;
    version_ = root_.Run({}, {"--version"}, &status);
    if (version_.find("unshare:") != std::string::npos ||
        version_.find("chroot:") != std::string::npos)
      GTEST_SKIP() << "no root can be entered here: " << version_;
    EXPECT_EQ(status, 0) << version_;
  }
  void Terminal(std::vector<std::string> environment) {
    tmuxsupport::Setup setup;
    setup.environment = {"TERM", "KORVEX_DRIVES=C=/"};
    setup.environment.insert(setup.environment.end(), environment.begin(), environment.end());
    std::istringstream words(root_.enter);
    for (std::string w; words >> w;) setup.wrapper.push_back(w);
    tmuxsupport::Terminal t(root_.demo.tree, 99, 38, setup);
    ASSERT_TRUE(t.WaitFor("Pfad Save and Restore")) << t.Screen();
    t.Keys({"Escape"});
    ASSERT_TRUE(t.WaitFor("Cancel configuration?")) << t.Screen();
    t.Keys({"y"});
    ASSERT_TRUE(t.WaitFor("Error logged to")) << t.Screen();
    t.Keys({"Enter"});
    tmuxsupport::ExpectCancelled(t, root_.demo.tree);
    screen_ = t.Screen();
  }
  Root root_;
  std::string version_, screen_;
};

TEST_F(RootWithoutQt, RunsTheVersionAndTheDemoScriptAsAFullMachine) {
  EXPECT_EQ(version_.rfind("Start_Config ", 0), 0u) << version_;
  // The same script on a full machine, with the same environment.
  testsupport::DemoTree full;
  testsupport::LayStep(full.tree.Host("Korvex/Start/Start_Config"));
  int status = -1;
  Output({"env", "-i", "USERNAME=installer", "KORVEX_DRIVES=C=" + full.tree.root().string(),
          "KORVEX_SCRIPT=" KORVEX_SOURCE_DIR "/demo/demo.script",
          full.tree.Host("Korvex/Start/Start_Config").string(), kArguments[0], kArguments[1],
          kArguments[2]},
         &status);
  ASSERT_EQ(status, 0);
  const std::string out = root_.Run({"KORVEX_SCRIPT=/demo.script"}, kArguments, &status);
  ASSERT_EQ(status, 0) << out;
  auto wanted = Files(full.tree.root() / "Korvex");
  wanted.erase("Start/Start_Config_desktop.so");
  testsupport::ExpectSameFiles(Files(root_.demo.tree.root() / "Korvex"), wanted);
}

TEST_F(RootWithoutQt, OpensTheTerminalWindow) {
  Terminal({});
}

TEST_F(RootWithoutQt, WithTheModuleButNoQtTheTerminalServesAndAForcedWindowEnds) {
  const fs::path module = fs::path(START_CONFIG_EXE).parent_path() / "Start_Config_desktop.so";
  if (!fs::exists(module)) GTEST_SKIP() << "this build has no desktop window";
  fs::copy_file(module, root_.demo.tree.root() / "Korvex/Start/Start_Config_desktop.so");
  const auto before = Files(root_.demo.tree.root() / "Korvex");
  int status = -1;
  const std::string out = root_.Run({"KORVEX_FRONTEND=window", "DISPLAY=:0"}, kArguments, &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(out,
            "Start_Config: the desktop window cannot be loaded: libQt6Widgets.so.6: cannot open "
            "shared object file: No such file or directory\n");
  testsupport::ExpectSameFiles(Files(root_.demo.tree.root() / "Korvex"), before);
  Terminal({"DISPLAY=:0"});
  EXPECT_NE(screen_.find("the desktop window cannot be loaded: libQt6Widgets.so.6"),
            std::string::npos)
      << screen_;
}

// cmake --install puts the step and its module into the installation's Start
// folder, runnable, and leaves what the installation keeps there as it was.
TEST(Install, PutsTheStepBesideWhatTheInstallationKeeps) {
  testsupport::DemoTree demo;
  const fs::path start = demo.tree.root() / "Korvex/Start";
  fs::remove(start / "Start_Config");
  fs::remove(start / "Start_Config_desktop.so");
  const auto kept = Files(start);
  int status = -1;
  const fs::path build = fs::path(START_CONFIG_EXE).parent_path().parent_path();
  // The build's install script, but with its list of installed files kept in
  // the test's folder rather than in the build folder.
  std::string script = testsupport::ReadFile(build / "cmake_install.cmake");
  const std::string manifest = "\"" + build.string() + "/${CMAKE_INSTALL_MANIFEST}\"";
  ASSERT_NE(script.find(manifest), std::string::npos);
  script.replace(script.find(manifest), manifest.size(),
                 "\"" + demo.tree.root().string() + "/.manifest\"");
  testsupport::WriteFile(demo.tree.root() / ".install.cmake", script);
  const std::string out =
      Output({"cmake", "-DCMAKE_INSTALL_PREFIX=" + demo.tree.Host("Korvex").string(), "-P",
              (demo.tree.root() / ".install.cmake").string()},
             &status, true);
  ASSERT_EQ(status, 0) << out;
  EXPECT_EQ(access((start / "Start_Config").c_str(), X_OK), 0);
  EXPECT_EQ(fs::exists(start / "Start_Config_desktop.so"),
            fs::exists(build / "bin/Start_Config_desktop.so"));
  auto now = Files(start);
  now.erase("Start_Config"), now.erase("Start_Config_desktop.so");
  EXPECT_EQ(now, kept);
}

}  // namespace
