#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e_support.h"
#include "form/start_config_form.h"
#include "test_support.h"

namespace {

using testsupport::DumpedText;
using testsupport::LocaleEnv;

class SpeedFactorEntry : public testsupport::FormTest {
 protected:
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
  // Types each text into box 1 and checks the text it shows then, the slot, and
  // the caret at the end.
  struct Case {
    std::string typed, shown;
    int slot;
  };
  void Check(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      EXPECT_EQ(Enter(1, c.typed), c.shown) << c.typed;
      EXPECT_EQ(Slot(1), c.slot) << c.typed;
      EXPECT_EQ(Box(1).SelStart(), static_cast<int>(c.shown.size())) << c.typed;
    }
  }
};

TEST_F(SpeedFactorEntry, ThePointLocale) {
  LocaleEnv locale("C");
  Check({{"abc", "0", 0},  // a box that never held a number restores 0
         {"12", "12", 12},
         {"12a", "12", 12},
         {"2.7", "2", 2},
         {"-2.3", "-3", -3},
         {"1e3", "1e3", 1000},  // whole: stays as typed
         {" +7 ", " +7 ", 7},
         {"0.5", "0", 0},
         {"-0.5", "-1", -1},
         {"-0", "-0", 0},
         {"&H10", "&H10", 16},  // the runtime's hexadecimal form
         {"", "", 16},          // empty: waits for the focus to leave
         {"1e400", "16", 16},
         {"NaN", "16", 16},
         {"-Infinity", "16", 16},
         {"0x10", "16", 16},
         {std::string("1\0002", 3), "16", 16},
         {"\t5", "16", 16},
         {"5\n", "16", 16},
         {"--1", "16", 16},
         {std::string(100, 'z'), "16", 16},
         {"\xC3\xA4", "16", 16}});
  EXPECT_EQ(Reports(), 0);
  EXPECT_EQ(Enter(5, "x"), "0");  // each box has its own slot

  // Out of the 16-bit range: reported, the text stays, the slot keeps its value.
  Check({{"40000", "40000", 16},
         {"q", "16", 16},
         {"32767", "32767", 32767},
         {"-32768", "-32768", -32768},
         {std::string(100, '9'), std::string(100, '9'), -32768},
         {"1234567890123456.5", "1234567890123456", -32768}});
  EXPECT_GE(Reports(), 3);
  EXPECT_NE(boxes_.boxes[0].text.find("Overflow"), std::string::npos);
}

TEST_F(SpeedFactorEntry, TheCommaLocale) {
  LocaleEnv locale("de_DE.UTF-8");
  Check({{"2,7", "2", 2},
         {"-2,3", "-3", -3},
         {"1.000,5", "1000", 1000},
         {"2.7", "2.7", 27},  // the point groups digits here
         {"1e400", "27", 27}});
  EXPECT_EQ(Reports(), 0);
}

TEST_F(SpeedFactorEntry, FocusAndTypingInTheMiddle) {
  LocaleEnv locale("C");
  Enter(2, "33");
  Enter(2, "");
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
  Box(2).SetSelStart(1);
  EXPECT_EQ(Enter(2, "1x25"), "125");
  EXPECT_EQ(Box(2).SelStart(), 3);
}

TEST_F(SpeedFactorEntry, TheNestedChangeRunsOnceAndNeverLoops) {
  LocaleEnv locale("C");
  int calls = 0;
  ui::Control& box = Box(3);
  auto handler = box.on.change;
  box.on.change = [&] {
    ++calls;
    handler();
  };
  Enter(3, "2.7");
  EXPECT_EQ(calls, 2);
  Enter(3, "junk");
  EXPECT_EQ(calls, 4);
  EXPECT_EQ(box.Text(), "2");
}

// ---------------------------------------------------------------------------
// End to end: the scripted window.

// Runs the actions, each followed by a dump, and checks what the boxes of both
// machines hold after each ("row 1|row 2") and whether an overflow was reported.
struct Step {
  std::string action, boxes;
  bool overflow = false;
};

void RunSteps(const char* language, const std::vector<Step>& steps) {
  testsupport::TempTree tree;
  testsupport::Installation install(tree);
  install.Prepare({"Press", "Oven"});
  std::string script;
  for (const Step& s : steps) script += s.action + "\ndump\n";
  const auto run = install.Run(install.Integrated(), script, {std::string("LANG=") + language});
  const std::string& t = run.transcript;
  ASSERT_EQ(run.status, 3) << t << run.errors;
  size_t from = 0;
  for (const Step& s : steps) {
    from = t.find("> " + s.action + "\n", from);
    ASSERT_NE(from, std::string::npos) << s.action;
    const size_t dump = t.find("> dump\n", from);
    const std::string block = t.substr(from, t.find("\n> ", dump) - from);
    EXPECT_EQ(
        DumpedText(block, "TextSpeedFactor(1)") + "|" + DumpedText(block, "TextSpeedFactor(2)"),
        s.boxes)
        << s.action;
    EXPECT_EQ(block.find("Overflow") != std::string::npos, s.overflow) << block;
    from = dump;
  }
}

TEST(SpeedFactorScript, TypingInThePointLocale) {
  RunSteps("C", {{"text TextSpeedFactor(1) 12", "12|"},
                 {"type TextSpeedFactor(1) a", "12|"},  // the caret was at the end
                 {"type TextSpeedFactor(1) 5", "125|"},
                 {"caret TextSpeedFactor(1) 1", "125|"},
                 {"type TextSpeedFactor(1) x", "125|"},  // typed in the middle: restored
                 {"caret TextSpeedFactor(1) 1", "125|"},
                 {"type TextSpeedFactor(1) 0", "1025|"},
                 {"type TextSpeedFactor(1) 7", "10257|"},  // the caret went to the end
                 {"text TextSpeedFactor(2) 2.7", "10257|2"},
                 {"text TextSpeedFactor(2) -2.3", "10257|-3"},
                 {"text TextSpeedFactor(2) 40000", "10257|40000", true},
                 {"text TextSpeedFactor(2) abc", "10257|-3"},
                 {"text TextSpeedFactor(2)", "10257|"},
                 {"leave TextSpeedFactor(2)", "10257|0"},
                 {"focus TextSpeedFactor(1)", "10257|0"},
                 {"type TextSpeedFactor(1) 9", "9|0"},  // the focus selected the whole text
                 {"text TextSpeedFactor(1) 1e3", "1e3|0"},
                 {"text TextSpeedFactor(1) 1e400", "1000|0"}});
}

TEST(SpeedFactorScript, TypingInTheCommaLocale) {
  RunSteps("de_DE.UTF-8", {{"text TextSpeedFactor(1) 2,7", "2|"},
                           {"text TextSpeedFactor(2) -2,3", "2|-3"},
                           {"text TextSpeedFactor(1) 2.7", "2.7|-3"},  // the point groups
                           {"text TextSpeedFactor(1) x", "27|-3"},
                           {"text TextSpeedFactor(2) 40000,5", "27|40000", true}});
}

}  // namespace
