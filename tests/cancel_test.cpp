// Cancel and the close box: the question, "No" keeping everything, "Yes" leaving
// the cancel mark and the log line and ending with status 2, help mode, and a
// cancel mark that cannot be written (reported, and the cancel still ends).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "app/common/lifecycle.h"
#include "e2e_support.h"
#include "form/start_config_form.h"
#include "runtime/command_line.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

const char* const kCommandLine = "/EXTERNAL=KVXCFG /LOGFILE=C:\\Korvex\\KVXLOG.TXT";
const std::string kIni = "[Common]\r\nNameM1=Filler\r\nConfigExeCancel=False\r\n";
const std::string kLogLine = "Konfigurations-EXE wurde abgebrochen:     Start\r\n";

// In-process; the process ends in a child, so every box goes to stderr, answered
// Yes or with its OK.
class CancelTest : public ::testing::Test {
 protected:
  CancelTest() {
    testsupport::StartAs(kCommandLine);
    tree_.Write("Korvex/parameter/kvxconfiguration.ini", kIni);
    form_.ConfigurationIniPath = "C:\\Korvex\\parameter\\kvxconfiguration.ini";
    old_ = platform::SetMessageBoxHandler([](const platform::MessageBox& box) {
      std::cerr << "box " << box.title << ": " << platform::VisibleLineBreaks(box.text) << "\n";
      return box.buttons == platform::Buttons::YesNo ? platform::Answer::Yes : platform::Answer::OK;
    });
  }
  ~CancelTest() override { platform::SetMessageBoxHandler(std::move(old_)); }

  std::string Ini() const { return tree_.Read("Korvex/parameter/kvxconfiguration.ini"); }
  std::string Log() const { return tree_.Read("Korvex/KVXLOG.TXT"); }

  testsupport::RuntimeState state_;
  testsupport::TempTree tree_;
  platform::MessageBoxHandler old_;
  frm_Start_Config_Exe form_;
};

TEST_F(CancelTest, AnUnwritableMarkIsReportedAndTheCancelStillEnds) {
  fs::permissions(tree_.Host("Korvex/parameter/kvxconfiguration.ini"), fs::perms::owner_read);
  // The cancel ends all the same, but its status says that the mark is missing.
  EXPECT_EXIT(form_.CommandCancel_Click(), testing::ExitedWithCode(kExitEndedWithFailures),
              "box Unexpected error: .*C:\\\\Korvex\\\\parameter\\\\kvxconfiguration.ini "
              "could not be written.*Resume\\?\n"
              "box Start_Config: Error logged to");
  EXPECT_EQ(Ini(), kIni);
  const std::string log = Log();
  EXPECT_NE(log.find("Fehler in Start / Start_Config_Exe / CommandCancel_Click (Nr. 75) :"),
            std::string::npos);
  EXPECT_EQ(log.substr(log.size() - kLogLine.size()), kLogLine);

  // No configuration tool INI at all: the same report from the close box.
  form_.ConfigurationIniPath.clear();
  bool cancel = false;
  EXPECT_EXIT(form_.Form_QueryUnload(cancel, 0), testing::ExitedWithCode(kExitEndedWithFailures),
              "C:\\\\Korvex\\\\parameter\\\\kvxconfiguration.ini could not be written");
  EXPECT_NE(Log().find("Form_QueryUnload (Nr. 75)"), std::string::npos);
}

// A face's notice box waits for its key: a signal, or the terminal gone, while
// the notice of a confirmed cancel shows changes neither its status nor its
// one log line.
TEST_F(CancelTest, WhatEndsTheNoticeOfADoneCancelKeepsItsStatus) {
  for (const bool signalled : {true, false}) {
    platform::SetMessageBoxHandler([this, signalled](const platform::MessageBox& box) {
      if (box.buttons == platform::Buttons::YesNo) return platform::Answer::Yes;
      if (!signalled) app::EndWithWindowOpen(form_, "the terminal has gone");
      kill(getpid(), SIGHUP);
      platform::CheckTermination();
      return platform::Answer::OK;
    });
    EXPECT_EXIT(
        {
          platform::InstallEndRequestHandlers();
          app::UntilEndRequest(form_, nullptr, [this] { form_.CommandCancel_Click(); });
        },
        testing::ExitedWithCode(kExitCancelled), "");
    EXPECT_EQ(testsupport::Count(Log(), kLogLine), signalled ? 1u : 2u);
  }
}

}  // namespace
