#include "runtime/help_mode.h"

#include <exception>

#include "platform/msgbox.h"
#include "runtime/language.h"

namespace rt {

bool HelpMode = false;
bool SkipNextValueHelp = false;

namespace {

int codeChangeDepth = 0;

constexpr char kMarker[] = "<CRLF>";
constexpr size_t kMarkerLength = sizeof kMarker - 1;

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The marker is plain ASCII, so comparing ASCII letters without case finds it
// exactly where an upper-case copy of the text would.
size_t FindMarker(const std::string& text, size_t from) {
  for (size_t i = from; i + kMarkerLength <= text.size(); ++i) {
    size_t k = 0;
    while (k < kMarkerLength && AsciiUpper(text[i + k]) == kMarker[k]) ++k;
    if (k == kMarkerLength) return i;
  }
  return std::string::npos;
}

}  // namespace

ChangesFromCode::ChangesFromCode() {
  ++codeChangeDepth;
}
ChangesFromCode::~ChangesFromCode() {
  --codeChangeDepth;
}
bool DivertsToHelp() {
  return HelpMode && codeChangeDepth == 0;
}

void ToggleHelpMode(ui::Control& helpButton) {
  if (HelpMode) {
    HelpMode = false;
    helpButton.SetBackColor(ui::kLightGrey);
  } else {
    HelpMode = true;
    helpButton.SetBackColor(ui::Rgb(0, 255, 0));
  }
}

std::string ExpandLineBreaks(const std::string& text) {
  std::string message;
  size_t from = 0;
  for (size_t at = FindMarker(text, from); at != std::string::npos; at = FindMarker(text, from)) {
    message.append(text, from, at - from);
    message += "\r\n";
    from = at + kMarkerLength;
  }
  message.append(text, from, std::string::npos);
  return message;
}

void ShowHelp(const ui::Control& control) {
  if (!DivertsToHelp()) return;
  // Each step goes on after a failure of the one before, without a report: a
  // help id outside the table, or a control without one, shows an empty box.
  std::string text;
  try {
    const int id = control.HelpId();
    if (id >= 1 && id <= 100) text = HelpTexts[id];
  } catch (const std::exception&) {
  }
  std::string message;
  try {
    message = ExpandLineBreaks(text);
  } catch (const std::exception&) {
  }
  try {
    platform::ShowMessageBox(
        {message, "Info:", platform::Buttons::OK, platform::Icon::Information, 0});
  } catch (const std::exception&) {
  }
}

void ShowValueHelp(ui::Control& checkBox) {
  if (!DivertsToHelp()) return;
  if (SkipNextValueHelp) {
    SkipNextValueHelp = false;
    return;
  }
  SkipNextValueHelp = true;
  {
    // The click raised by restoring the value clears the flag; when none is
    // raised (or the restore fails) it must not stay set, or the next help
    // click on the box would be swallowed.
    struct ClearFlag {
      ~ClearFlag() { SkipNextValueHelp = false; }
    } clear;
    checkBox.SetValue(checkBox.Value() == 0 ? 1 : 0);
  }
  ShowHelp(checkBox);
}

}  // namespace rt
