// Reading and writing single INI entries, on top of the platform's
// private-profile services: a 255-character read buffer, the optional
// "not found" report, the texts that count as true, and the written forms of
// typed values.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/profile.h"

namespace rt {

// A value of a type the INI writer does not know (a date, say).
struct UnsupportedValue {
  std::string typeName;
};

// A typed value for SaveIni; its type decides the written form.
class IniValue {
 public:
  IniValue(uint8_t v) : value_(v) {}
  IniValue(int16_t v) : value_(v) {}
  IniValue(int32_t v) : value_(v) {}
  IniValue(float v) : value_(v) {}
  IniValue(double v) : value_(v) {}
  IniValue(bool v) : value_(v) {}
  IniValue(std::string v) : value_(std::move(v)) {}
  IniValue(const char* v) : value_(std::string(v)) {}
  IniValue(UnsupportedValue v) : value_(std::move(v)) {}

  // The text SaveIni writes; nothing for an unsupported type.
  bool ToText(std::string& text) const;

 private:
  std::variant<uint8_t, int16_t, int32_t, float, double, bool, std::string, UnsupportedValue>
      value_;
};

std::string LoadIniString(const std::string& section, const std::string& key,
                          const std::string& file, bool reportMissing = false);
int16_t LoadIniInteger(const std::string& section, const std::string& key, const std::string& file,
                       bool reportMissing = false);
bool LoadIniBoolean(const std::string& section, const std::string& key, const std::string& file,
                    bool reportMissing = false);
int16_t SaveIni(const IniValue& value, const std::string& section, const std::string& key,
                const std::string& file);

// SaveIni for the writes the step depends on (the commit, the edit-info stamp,
// the takeover's and the cancel's marks): a write that did not happen is raised
// as failure 75 "<file> could not be written", so the caller's trap reports it
// instead of the step going on as if the setting were on disk. The report
// names the file, or reportedName when the file's path is empty because the
// file does not exist.
void SaveIniChecked(const IniValue& value, const std::string& section, const std::string& key,
                    const std::string& file, const std::string& reportedName = {});

// SaveIni of several texts into one file with one rewrite of the file; the
// file holds what the single writes in this order would leave. 1 when every
// entry was written.
int16_t SaveIniTexts(const std::vector<platform::ProfileEntry>& entries, const std::string& file);

// Makes everything written so far durable, before a commit or a cancel tells
// its status; a sync the disk refuses is raised as failure 57, like a write
// that did not happen.
void SyncWrites();

// The failure of a settings file that could not be written.
[[noreturn]] void RaiseNotWritten(const std::string& file);

// How many settings writes (and syncs) have failed since the process started,
// wherever they were: a commit or a cancel that ran to its end after one of them
// did not leave the settings as the installer saw them.
uint32_t FailedSettingsWrites();

}  // namespace rt
