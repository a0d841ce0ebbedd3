#include "runtime/language.h"

#include <exception>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/failure.h"
#include "base/text.h"
#include "controls/toolkit.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "runtime/errors.h"
#include "runtime/ini_access.h"

namespace rt {

std::array<std::string, 101> HelpTexts;

namespace {

constexpr const char* kBuiltInLanguage = "1031";

bool NoText(const std::string& text) {
  return text.empty() || text == "0";
}

// The texts a start seeds into the language file. They go to the file together
// once the controls are loaded: the first start seeds a hundred of them, and a
// rewrite of the file for each made that start several times slower than the
// next one. A key read again before then (two controls sharing a help id) sends
// the seeds to the file first, so the read sees what it always saw.
class Seeds {
 public:
  explicit Seeds(std::string file) : file_(std::move(file)) {}
  std::string Read(const std::string& section, const std::string& key) {
    if (keys_.count(Id(section, key)) != 0) Write();
    return LoadIniString(section, key, file_, false);
  }
  void Add(const std::string& section, const std::string& key, const std::string& text) {
    entries_.push_back({section, key, text});
    keys_.insert(Id(section, key));
  }
  void Write() {
    if (!entries_.empty()) SaveIniTexts(entries_, file_);
    entries_.clear();
    keys_.clear();
  }

 private:
  static std::string Id(const std::string& section, const std::string& key) {
    return platform::UpperCase(section) + '\n' + platform::UpperCase(key);
  }
  std::string file_;
  std::vector<platform::ProfileEntry> entries_;
  std::set<std::string> keys_;
};

// Captions, help texts and the tooltip of one control. Any failure ends the
// handling of this control only; the caller contains it.
void LoadControlTexts(ui::Control& control, bool arrayMember, const std::string& language,
                      Seeds& seeds) {
  const std::string index = arrayMember ? std::to_string(control.Index()) : std::string();
  const std::string kind = platform::UpperCase(control.TypeName());

  if (kind == "LABEL" || kind == "COMMANDBUTTON" || kind == "CHECKBOX") {
    const std::string key = "Caption_" + control.Name() + index + "_" + control.Tag();
    const std::string caption = seeds.Read(language, key);
    if (!NoText(caption)) {
      control.SetCaption(caption);
    } else if (language != kBuiltInLanguage) {
      seeds.Add(language, key, "0");
    } else {
      // The built-in language seeds its section with the built-in captions.
      seeds.Add(language, key, control.Caption());
    }

    const int id = control.HelpId();
    if (id != 0) {
      if (id < 1 || id > 100) platform::Raise(platform::kSubscriptOutOfRange);
      const std::string helpKey = "Help" + std::to_string(id);
      HelpTexts[id] = seeds.Read(language, helpKey);
      if (NoText(HelpTexts[id])) seeds.Add(language, helpKey, "0");
    }
  }

  if (platform::UpperCase(control.Tag()).find("NOTTT") == std::string::npos) {
    const std::string key = "TTT_" + control.Name() + index + "_" + control.Tag();
    const std::string tip = seeds.Read(language, key);
    if (!NoText(tip)) {
      control.SetToolTipText(tip);
    } else {
      seeds.Add(language, key, "0");
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
  Seeds seeds(file);
  for (int i = 0; i < count; ++i) {
    ui::Control& control = *form->Controls()[i];
    const bool arrayMember = form->IsArrayMember(control);
    try {
      LoadControlTexts(control, arrayMember, language, seeds);
    } catch (const std::exception&) {
      // Skipped without a report: a control lacking one of the properties, or a
      // help id outside the table.
    }
  }
  seeds.Write();
}

}  // namespace rt
