// Language and tooltip texts: the window's captions, tooltips and help texts
// can be replaced per language from the language file beside the executable,
// which the step seeds with every text it looks up.
#pragma once

#include <array>
#include <string>

namespace rt {

// Help texts by help id 1..100 (slot 0 unused).
extern std::array<std::string, 101> HelpTexts;

// The language file: executable folder + "\" + program file name + ".ini".
std::string GetLanguageFilePath();
std::string GetLanguage();
// Applies the texts of the current language to the first loaded form and fills
// HelpTexts.
void LoadToolTipTexts();

}  // namespace rt
