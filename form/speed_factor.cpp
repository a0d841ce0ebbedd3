// Speed-factor entry: every box keeps a whole number while the user types. A
// fractional number is cut down at once, a text that is no number gives way to
// the box's last accepted value, and a box left empty becomes "0".
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "base/failure.h"
#include "base/text.h"
#include "form/start_config_form.h"
#include "platform/number.h"
#include "runtime/errors.h"
#include "runtime/help_mode.h"

namespace {

// The runtime's conversion of a text to a 16-bit integer: the locale's number,
// rounded half to even; 13 for a text that is no number, 6 outside the range.
int16_t TextToInteger(const std::string& text) {
  const std::optional<double> x = platform::ParseNumber(text);
  if (!x) platform::Raise(platform::kTypeMismatch);
  double r = std::floor(*x);
  const double fraction = *x - r;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(r, 2) != 0)) r += 1;
  if (!(r >= INT16_MIN && r <= INT16_MAX)) platform::Raise(platform::kOverflow);
  return static_cast<int16_t>(r);
}

void PutCaretAtEnd(ui::Control& box) {
  box.SetSelStart(static_cast<int>(platform::CharCount(box.Text())));
}

}  // namespace

void frm_Start_Config_Exe::TextSpeedFactor_Change(int i) {
  const rt::Trap step("TextSpeedFactor_Change");
  std::string t;
  step([&] { t = Element(TextSpeedFactor, i).Text(); });

  if (t.empty()) {
    // The slot keeps its value; only leaving the box turns it into "0".
    step([&] { Element(TextSpeedFactor, i).SetSelStart(0); });
    return;
  }

  if (const std::optional<double> x = platform::ParseNumber(t)) {
    // Setting the text runs this handler again for the whole number before the
    // slot below is taken from the box.
    step([&] {
      const double whole = std::floor(*x);
      if (*x != whole) Element(TextSpeedFactor, i).SetText(platform::WholeNumberText(whole));
    });
    step([&] {
      ui::Control& box = Element(TextSpeedFactor, i);
      LastSpeedFactor.at(i - 1) = TextToInteger(box.Text());
    });
  } else {
    step([&] {
      ui::Control& box = Element(TextSpeedFactor, i);
      box.SetText(std::to_string(LastSpeedFactor.at(i - 1)));
    });
    step([&] { PutCaretAtEnd(Element(TextSpeedFactor, i)); });
  }
  step([&] { PutCaretAtEnd(Element(TextSpeedFactor, i)); });
}

void frm_Start_Config_Exe::TextSpeedFactor_GotFocus(int i) {
  const rt::Trap step("TextSpeedFactor_GotFocus");
  step([&] { Element(TextSpeedFactor, i).SetSelStart(0); });
  step([&] {
    ui::Control& box = Element(TextSpeedFactor, i);
    box.SetSelLength(static_cast<int>(platform::CharCount(box.Text())));
  });
}

void frm_Start_Config_Exe::TextSpeedFactor_LostFocus(int i) {
  const rt::Trap step("TextSpeedFactor_LostFocus");
  step([&] {
    ui::Control& box = Element(TextSpeedFactor, i);
    if (box.Text().empty()) box.SetText("0");
  });
}

void frm_Start_Config_Exe::TextSpeedFactor_Click(int i) {
  const rt::Trap step("TextSpeedFactor_Click");
  step([&] { rt::ShowHelp(Element(TextSpeedFactor, i)); });
}
