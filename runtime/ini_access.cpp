#include "runtime/ini_access.h"

#include <charconv>

#include "base/failure.h"
#include "base/text.h"
#include "files/file_cache.h"
#include "files/rewrite.h"
#include "platform/filesys.h"
#include "platform/number.h"
#include "platform/profile.h"
#include "runtime/errors.h"

namespace rt {
namespace {

constexpr uint32_t kBufferSize = 255;

std::string NotFound(const std::string& file, const std::string& section, const std::string& key) {
  return "File '" + file + "' or Section [" + section + "] or Entry '" + key + "' not found";
}

platform::ProfileString ReadEntry(const std::string& section, const std::string& key,
                                  const std::string& file) {
  return platform::GetPrivateProfileStringA(section, key, std::string(kBufferSize, ' '),
                                            kBufferSize, file);
}

}  // namespace

bool IniValue::ToText(std::string& text) const {
  struct Visitor {
    std::string& out;
    bool operator()(uint8_t v) { return out = std::to_string(v), true; }
    bool operator()(int16_t v) { return out = std::to_string(v), true; }
    bool operator()(int32_t v) { return out = std::to_string(v), true; }
    bool operator()(float v) {
      // A single is written with its own seven significant digits, not with the
      // digits of the double it widens to (0.1 stays .1).
      char buf[32];
      auto end = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 7).ptr;
      double widened = 0;
      std::from_chars(buf, end, widened);
      return out = platform::FormatFloat(widened), true;
    }
    bool operator()(double v) { return out = platform::FormatFloat(v), true; }
    bool operator()(bool v) { return out = v ? "true" : "false", true; }
    bool operator()(const std::string& v) { return out = v, true; }
    bool operator()(const UnsupportedValue&) { return false; }
  };
  return std::visit(Visitor{text}, value_);
}

std::string LoadIniString(const std::string& section, const std::string& key,
                          const std::string& file, bool reportMissing) {
  const Trap step("LoadIniString");
  platform::ProfileString read{0, {}};
  step([&] { read = ReadEntry(section, key, file); });
  step([&] {
    if (read.count == 0 && reportMissing) ReportFault(NotFound(file, section, key));
  });
  return read.text;
}

int16_t LoadIniInteger(const std::string& section, const std::string& key, const std::string& file,
                       bool reportMissing) {
  const Trap step("LoadIniInteger");
  int32_t read = 0;
  int16_t value = 0;
  step([&] { read = platform::GetPrivateProfileIntA(section, key, -1, file); });
  step([&] {
    if (read < -32768 || read > 32767) platform::Raise(platform::kOverflow);
    value = static_cast<int16_t>(read);
  });
  step([&] {
    if (value == -1 && reportMissing) ReportFault(NotFound(file, section, key));
  });
  return value;
}

bool LoadIniBoolean(const std::string& section, const std::string& key, const std::string& file,
                    bool reportMissing) {
  const Trap step("LoadIniBoolean");
  platform::ProfileString read{0, {}};
  std::string upper;
  step([&] { read = ReadEntry(section, key, file); });
  step([&] { upper = platform::UpperCase(read.text); });
  step([&] {
    if (reportMissing && ((upper != "TRUE" && upper != "FALSE") || read.count == 0))
      ReportFault(NotFound(file, section, key));
  });
  return upper == "TRUE";
}

int16_t SaveIni(const IniValue& value, const std::string& section, const std::string& key,
                const std::string& file) {
  const Trap step("SaveIni");
  std::string text;
  int16_t result = 0;
  bool known = false;
  step([&] { known = value.ToText(text); });
  if (!known) {
    // No text exists for this type: report it and leave the entry as it is.
    step([&] { ReportFault("Ini Save:  wrong data type"); });
    return 0;
  }
  step([&] {
    result = platform::WritePrivateProfileStringA(section, key, text, file) != 0 ? 1 : 0;
  });
  return result;
}

}  // namespace rt

namespace rt {

int16_t SaveIniTexts(const std::vector<platform::ProfileEntry>& entries, const std::string& file) {
  const Trap step("SaveIni");
  int16_t result = 0;
  step([&] { result = platform::WritePrivateProfileEntries(entries, file) != 0 ? 1 : 0; });
  return result;
}

namespace {
uint32_t failedSettingsWrites = 0;
}  // namespace

void SyncWrites() {
  if (!platform::SyncWrittenFiles()) {
    ++failedSettingsWrites;
    platform::Raise(platform::kDeviceIOError, "The written files could not be synced to disk");
  }
}

uint32_t FailedSettingsWrites() {
  return failedSettingsWrites;
}

void RaiseNotWritten(const std::string& file) {
  ++failedSettingsWrites;
  platform::Raise(platform::kPathFileAccessError,
                  (file.empty() ? std::string("(no file name)") : file) + " could not be written");
}

void SaveIniChecked(const IniValue& value, const std::string& section, const std::string& key,
                    const std::string& file, const std::string& reportedName) {
  if (SaveIni(value, section, key, file) != 0) return;
  const std::string name = file.empty() && !reportedName.empty() ? reportedName : file;
  // So is a link another user planted to lead the write elsewhere.
  if (const std::optional<std::string> leads = platform::LastWriteRefusedLink()) {
    ++failedSettingsWrites;
    platform::Raise(platform::kPathFileAccessError, platform::ForeignLinkText(name, *leads));
  }
  // A lock another program keeps is worth naming: the installer can end that program.
  if (platform::LastWriteFoundFileLocked()) {
    ++failedSettingsWrites;
    platform::Raise(platform::kPathFileAccessError,
                    name + " could not be written: another program kept it locked");
  }
  RaiseNotWritten(name);
}

}  // namespace rt
