#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "e2e_support.h"
#include "form/start_config_form.h"
#include "platform/process.h"
#include "runtime/command_line.h"
#include "runtime/help_mode.h"
#include "test_support.h"

namespace {

// Sets the process locale variables for the lifetime of the object.
class LocaleGuard {
 public:
  explicit LocaleGuard(const char* locale) {
    for (const char* name : kNames) {
      const char* old = getenv(name);
      saved_.push_back(old ? std::optional<std::string>(old) : std::nullopt);
      unsetenv(name);
    }
    setenv("LC_ALL", locale, 1);
  }
  ~LocaleGuard() {
    for (size_t k = 0; k < saved_.size(); ++k) {
      if (saved_[k])
        setenv(kNames[k], saved_[k]->c_str(), 1);
      else
        unsetenv(kNames[k]);
    }
  }

 private:
  static constexpr const char* kNames[] = {"LC_ALL", "LC_NUMERIC", "LANG"};
  std::vector<std::optional<std::string>> saved_;
};

class SpeedFactorEntry : public ::testing::Test {
 protected:
  SpeedFactorEntry() {
    platform::SetProcessForTesting("/EXTERNAL=KVXCFG", "C:\\Korvex\\Start", "Start_Config");
    tree_.MakeFolder("Korvex/Start");
    rt::SilentMode = false;
    rt::HelpMode = false;
    form_ = std::make_unique<frm_Start_Config_Exe>();
  }
  ~SpeedFactorEntry() override { rt::HelpMode = false; }

  ui::Control& Box(int i) { return *form_->TextSpeedFactor[i]; }
  // Types a text as the box's new text and returns what the box holds then.
  std::string Enter(int i, const std::string& text) {
    Box(i).SetText(text);
    return Box(i).Text();
  }
  int16_t Slot(int i) const { return form_->LastSpeedFactor[i - 1]; }
  int Caret(int i) { return Box(i).SelStart(); }
  int Reports() const {
    int n = 0;
    for (const auto& b : boxes_.boxes) n += b.title == "Unexpected error";
    return n;
  }

  testsupport::TempTree tree_;
  testsupport::BoxRecorder boxes_;
  std::unique_ptr<frm_Start_Config_Exe> form_;
};

TEST_F(SpeedFactorEntry, WholeNumbersStayAsTypedFractionsAreCutDownOthersRestored) {
  LocaleGuard locale("C");
  EXPECT_EQ(Enter(1, "abc"), "0");  // a box that never held a number restores 0
  EXPECT_EQ(Caret(1), 1);
  EXPECT_EQ(Enter(1, "12"), "12");
  EXPECT_EQ(Slot(1), 12);
  EXPECT_EQ(Caret(1), 2);
  EXPECT_EQ(Enter(1, "12a"), "12");
  EXPECT_EQ(Caret(1), 2);
  EXPECT_EQ(Enter(1, "2.7"), "2");
  EXPECT_EQ(Slot(1), 2);
  EXPECT_EQ(Enter(1, "-2.3"), "-3");
  EXPECT_EQ(Slot(1), -3);
  EXPECT_EQ(Caret(1), 2);
  EXPECT_EQ(Enter(1, "1e3"), "1e3");
  EXPECT_EQ(Slot(1), 1000);
  EXPECT_EQ(Enter(1, " +7 "), " +7 ");
  EXPECT_EQ(Slot(1), 7);
  EXPECT_EQ(Caret(1), 4);
  EXPECT_EQ(Enter(1, "0.5"), "0");
  EXPECT_EQ(Enter(1, "-0.5"), "-1");
  EXPECT_EQ(Enter(1, "-0"), "-0");
  EXPECT_EQ(Slot(1), 0);
  EXPECT_EQ(Enter(1, "&H10"), "&H10");  // the runtime's hexadecimal form is a number
  EXPECT_EQ(Slot(1), 16);
  // The other boxes keep their own slots.
  EXPECT_EQ(Enter(5, "x"), "0");
  EXPECT_EQ(Slot(1), 16);
  EXPECT_EQ(Reports(), 0);
}

TEST_F(SpeedFactorEntry, AnEmptyBoxWaitsForTheFocusToLeave) {
  LocaleGuard locale("C");
  Enter(2, "33");
  EXPECT_EQ(Enter(2, ""), "");
  EXPECT_EQ(Caret(2), 0);
  EXPECT_EQ(Slot(2), 33);
  form_->TextSpeedFactor_LostFocus(2);
  EXPECT_EQ(Box(2).Text(), "0");
  EXPECT_EQ(Slot(2), 0);
  Enter(2, "125");
  form_->TextSpeedFactor_LostFocus(2);  // a filled box is left alone
  EXPECT_EQ(Box(2).Text(), "125");
  form_->TextSpeedFactor_GotFocus(2);
  EXPECT_EQ(Box(2).SelStart(), 0);
  EXPECT_EQ(Box(2).SelLength(), 3);
}

TEST_F(SpeedFactorEntry, TheNestedChangeRunsOnceAndNeverLoops) {
  LocaleGuard locale("C");
  int calls = 0;
  ui::Control& box = Box(3);
  auto handler = box.on.change;
  box.on.change = [&] {
    ++calls;
    handler();
  };
  Enter(3, "2.7");
  EXPECT_EQ(calls, 2);
  calls = 0;
  Enter(3, "junk");
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(box.Text(), "2");
  calls = 0;
  Enter(3, "2");  // the same text again is no change
  EXPECT_EQ(calls, 0);
}

TEST_F(SpeedFactorEntry, OutOfRangeNumbersAreReportedAndStayAsTyped) {
  LocaleGuard locale("C");
  Enter(4, "77");
  EXPECT_EQ(Enter(4, "40000"), "40000");
  EXPECT_EQ(Reports(), 1);
  EXPECT_NE(boxes_.boxes.back().text.find("Overflow"), std::string::npos);
  EXPECT_EQ(Slot(4), 77);
  EXPECT_EQ(Caret(4), 5);
  EXPECT_EQ(Enter(4, "q"), "77");  // the slot still holds the last accepted value

  EXPECT_EQ(Enter(4, "32767"), "32767");
  EXPECT_EQ(Enter(4, "-32768"), "-32768");
  EXPECT_EQ(Slot(4), -32768);
  EXPECT_EQ(Reports(), 1);
  EXPECT_EQ(Enter(4, "-32768.5"), "-32769");
  EXPECT_GE(Reports(), 2);
  EXPECT_EQ(Slot(4), -32768);

  // Hundred digits, and a fraction beyond any 16-bit value: cut down in plain
  // digits, reported, no loop.
  const std::string hundred(100, '9');
  EXPECT_EQ(Enter(4, hundred), hundred);
  EXPECT_EQ(Enter(4, "1234567890123456.5"), "1234567890123456");
  EXPECT_EQ(Caret(4), 16);
  EXPECT_EQ(Slot(4), -32768);
}

TEST_F(SpeedFactorEntry, TextsThatAreNoNumberAreRestoredSilently) {
  LocaleGuard locale("C");
  Enter(1, "21");
  const std::vector<std::string> junk = {"1e400",
                                         "NaN",
                                         "Infinity",
                                         "-Infinity",
                                         "0x10",
                                         std::string("1\0"
                                                     "2",
                                                     3),
                                         "\t5",
                                         "5\n",
                                         "1,2,3x",
                                         "--1",
                                         "e5",
                                         ".",
                                         std::string(100, 'z'),
                                         "\xC3\xA4"};
  for (const std::string& text : junk) {
    EXPECT_EQ(Enter(1, "21"), "21");
    EXPECT_EQ(Enter(1, text), "21") << text;
    EXPECT_EQ(Caret(1), 2);
  }
  EXPECT_EQ(Reports(), 0);

  // Typed into the middle: the box goes back, the caret to the end.
  Enter(1, "12");
  Box(1).SetSelStart(1);
  EXPECT_EQ(Enter(1, "1x2"), "12");
  EXPECT_EQ(Caret(1), 2);
  Box(1).SetSelStart(1);
  EXPECT_EQ(Enter(1, "152"), "152");
  EXPECT_EQ(Caret(1), 3);
}

TEST_F(SpeedFactorEntry, TheCommaLocaleReadsCommaAsTheDecimalSeparator) {
  LocaleGuard locale("de_DE.UTF-8");
  EXPECT_EQ(Enter(1, "2,7"), "2");
  EXPECT_EQ(Enter(1, "-2,3"), "-3");
  EXPECT_EQ(Slot(1), -3);
  EXPECT_EQ(Enter(1, "1.000,5"), "1000");
  EXPECT_EQ(Slot(1), 1000);
  // The point groups digits here, so the text is whole and stays as typed.
  EXPECT_EQ(Enter(1, "2.7"), "2.7");
  EXPECT_EQ(Slot(1), 27);
  EXPECT_EQ(Enter(1, "1e400"), "27");  // restored from the slot
  EXPECT_EQ(Enter(1, "1234567,5"), "1234567");
  EXPECT_GE(Reports(), 1);
}

TEST_F(SpeedFactorEntry, CodeSettingTheTextGoesThroughTheSameHandling) {
  LocaleGuard locale("C");
  Box(2).SetText("1.5");  // as the Save & Restore takeover sets it
  EXPECT_EQ(Box(2).Text(), "1");
  Box(2).SetText("fast");
  EXPECT_EQ(Box(2).Text(), "1");

  // Help mode changes nothing here; the click shows the box's help only then.
  form_->TextSpeedFactor_Click(2);
  EXPECT_TRUE(boxes_.boxes.empty());
  rt::HelpMode = true;
  EXPECT_EQ(Enter(2, "3.9"), "3");
  form_->TextSpeedFactor_Click(2);
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  EXPECT_EQ(boxes_.boxes[0].title, "Info:");
}

TEST_F(SpeedFactorEntry, AMissingBoxIsReportedNotACrash) {
  LocaleGuard locale("C");
  form_->TextSpeedFactor_Change(0);
  form_->TextSpeedFactor_Change(6);
  form_->TextSpeedFactor_GotFocus(0);
  form_->TextSpeedFactor_LostFocus(-1);
  EXPECT_GE(Reports(), 4);
  for (const auto& b : boxes_.boxes)
    EXPECT_NE(b.text.find("Control array element does not exist"), std::string::npos);
  for (int16_t slot : form_->LastSpeedFactor) EXPECT_EQ(slot, 0);
}

// ---------------------------------------------------------------------------
// End to end: the scripted window.

// A 1 x 1 bitmap file, 24 bits a pixel.
std::string Bitmap() {
  std::string b = "BM";
  auto le = [&b](uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) b += static_cast<char>((v >> (8 * k)) & 0xFF);
  };
  le(58, 4), le(0, 4), le(54, 4), le(40, 4), le(1, 4), le(1, 4), le(1, 2), le(24, 2);
  le(0, 4), le(4, 4), le(2835, 4), le(2835, 4), le(0, 4), le(0, 4);
  return b + std::string(4, '\x7f');
}

// The text of a control in the last dump of the transcript.
std::string DumpedText(const std::string& transcript, const std::string& control) {
  const std::string key = "  " + control + " TextBox ";
  const size_t at = transcript.rfind(key);
  if (at == std::string::npos) return "<no dump of " + control + ">";
  const size_t start = transcript.find(" text=\"", at);
  const size_t end = transcript.find("\"", start + 7);
  return transcript.substr(start + 7, end - start - 7);
}

class SpeedFactorScript : public ::testing::Test {
 protected:
  SpeedFactorScript() : install_(tree_) {
    install_.Configure({"Press", "Oven"});
    install_.ValidMachines("ALL");
    install_.Write("Start/Start_Logo.bmp", Bitmap());
  }
  testsupport::TempTree tree_;
  testsupport::Installation install_;
};

TEST_F(SpeedFactorScript, TypingKeepsWholeNumbersInThePointLocale) {
  const auto run = install_.Run(install_.Integrated(),
                                "text TextSpeedFactor(1) 12\n"
                                "type TextSpeedFactor(1) a\n"  // 12a -> 12, caret at the end
                                "type TextSpeedFactor(1) 5\n"  // 125
                                "caret TextSpeedFactor(1) 1\n"
                                "type TextSpeedFactor(1) x\n"  // 1x25 -> 125
                                "caret TextSpeedFactor(1) 1\n"
                                "type TextSpeedFactor(1) 0\n"     // 1025, caret at the end
                                "type TextSpeedFactor(1) 7\n"     // 10257
                                "text TextSpeedFactor(2) 2.7\n"   // 2
                                "text TextSpeedFactor(2) -2.3\n"  // -3
                                "text TextSpeedFactor(2) 40000\n"
                                "answer Yes\n"
                                "text TextSpeedFactor(2) abc\n"  // back to -3
                                "dump\n",
                                {"LANG=C"});
  EXPECT_EQ(run.status, 3) << run.transcript << run.errors;
  EXPECT_EQ(DumpedText(run.transcript, "TextSpeedFactor(1)"), "10257");
  EXPECT_EQ(DumpedText(run.transcript, "TextSpeedFactor(2)"), "-3");
  const size_t overflow = run.transcript.find("> text TextSpeedFactor(2) 40000");
  ASSERT_NE(overflow, std::string::npos);
  EXPECT_NE(run.transcript.find("Overflow", overflow), std::string::npos);
}

TEST_F(SpeedFactorScript, EmptyBoxesBecomeZeroWhenLeftAndTheFocusSelectsAll) {
  const auto run = install_.Run(install_.Integrated(),
                                "focus TextSpeedFactor(1)\n"
                                "leave TextSpeedFactor(1)\n"  // empty -> 0
                                "text TextSpeedFactor(2) 125\n"
                                "text TextSpeedFactor(2)\n"  // emptied: stays empty meanwhile
                                "dump\n"
                                "leave TextSpeedFactor(2)\n"
                                "text TextSpeedFactor(2) 125\n"
                                "focus TextSpeedFactor(1)\n"
                                "focus TextSpeedFactor(2)\n"  // selects all three digits
                                "type TextSpeedFactor(2) 9\n"
                                "dump\n",
                                {"LANG=C"});
  EXPECT_EQ(run.status, 3) << run.transcript << run.errors;
  const std::string first =
      run.transcript.substr(0, run.transcript.find("> leave TextSpeedFactor(2)"));
  EXPECT_EQ(DumpedText(first, "TextSpeedFactor(1)"), "0");
  EXPECT_EQ(DumpedText(first, "TextSpeedFactor(2)"), "");
  EXPECT_EQ(DumpedText(run.transcript, "TextSpeedFactor(2)"), "9");
}

TEST_F(SpeedFactorScript, TheCommaLocaleCutsCommaFractions) {
  const auto run = install_.Run(install_.Integrated(),
                                "text TextSpeedFactor(1) 2,7\n"
                                "text TextSpeedFactor(2) -2,3\n"
                                "dump\n"
                                "text TextSpeedFactor(1) 2.7\n"  // the point groups here: whole
                                "text TextSpeedFactor(2) 1e400\n"
                                "dump\n",
                                {"LANG=de_DE.UTF-8"});
  EXPECT_EQ(run.status, 3) << run.transcript << run.errors;
  const std::string first =
      run.transcript.substr(0, run.transcript.find("> text TextSpeedFactor(1) 2.7"));
  EXPECT_EQ(DumpedText(first, "TextSpeedFactor(1)"), "2");
  EXPECT_EQ(DumpedText(first, "TextSpeedFactor(2)"), "-3");
  EXPECT_EQ(DumpedText(run.transcript, "TextSpeedFactor(1)"), "2.7");
  EXPECT_EQ(DumpedText(run.transcript, "TextSpeedFactor(2)"), "-3");
  EXPECT_EQ(run.transcript.find("msgbox"), std::string::npos) << run.transcript;
}

}  // namespace
