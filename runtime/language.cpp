#include "runtime/language.h"

#include <exception>

#include "platform/failure.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/toolkit.h"
#include "runtime/errors.h"
#include "runtime/ini_access.h"

namespace rt {

std::array<std::string, 101> HelpTexts;

namespace {

constexpr const char* kBuiltInLanguage = "1031";

bool NoText(const std::string& text) {
  return text.empty() || text == "0";
}

// Captions, help texts and the tooltip of one control. Any failure ends the
// handling of this control only; the caller contains it.
void LoadControlTexts(ui::Control& control, bool arrayMember, const std::string& language,
                      const std::string& file) {
  const std::string index = arrayMember ? std::to_string(control.Index()) : std::string();
  const std::string kind = platform::UpperCase(control.TypeName());

  if (kind == "LABEL" || kind == "COMMANDBUTTON" || kind == "CHECKBOX") {
    const std::string key = "Caption_" + control.Name() + index + "_" + control.Tag();
    const std::string caption = LoadIniString(language, key, file, false);
    if (!NoText(caption)) {
      control.SetCaption(caption);
    } else if (language != kBuiltInLanguage) {
      SaveIni("0", language, key, file);
    } else {
      // The built-in language seeds its section with the built-in captions.
      SaveIni(control.Caption(), language, key, file);
    }

    const int id = control.HelpId();
    if (id != 0) {
      if (id < 1 || id > 100) platform::Raise(platform::kSubscriptOutOfRange);
      const std::string helpKey = "Help" + std::to_string(id);
      HelpTexts[id] = LoadIniString(language, helpKey, file, false);
      if (NoText(HelpTexts[id])) SaveIni("0", language, helpKey, file);
    }
  }

  if (platform::UpperCase(control.Tag()).find("NOTTT") == std::string::npos) {
    const std::string key = "TTT_" + control.Name() + index + "_" + control.Tag();
    const std::string tip = LoadIniString(language, key, file, false);
    if (!NoText(tip)) {
      control.SetToolTipText(tip);
    } else {
      SaveIni("0", language, key, file);
    }
  }
}

}  // namespace

std::string GetLanguageFilePath() {
  std::string folder = platform::ExecutableFolder();
  // A drive root already ends with its backslash.
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder + platform::ProgramFileName() + ".ini";
}

std::string GetLanguage() {
  const Trap step("GetLanguage");
  std::string code;
  step([&] { code = LoadIniString("Language", "Language", GetLanguageFilePath(), false); });
  if (!code.empty()) return code;
  step([&] { SaveIni(kBuiltInLanguage, "Language", "Language", GetLanguageFilePath()); });
  return kBuiltInLanguage;
}

void LoadToolTipTexts() {
  // No trap: failures per control are contained below, anything else is the
  // caller's to report.
  const std::string language = GetLanguage();
  const std::string file = GetLanguageFilePath();
  const ui::Window* form = ui::FirstForm();
  if (form == nullptr) platform::Raise(platform::kSubscriptOutOfRange);
  const int count = form->ControlCount();
  for (int i = 0; i < count; ++i) {
    ui::Control& control = *form->Controls()[i];
    const bool arrayMember = form->IsArrayMember(control);
    try {
      LoadControlTexts(control, arrayMember, language, file);
    } catch (const std::exception&) {
      // Skipped without a report: a control lacking one of the properties, or a
      // help id outside the table.
    }
  }
}

}  // namespace rt
