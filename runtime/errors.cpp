#include "runtime/errors.h"

#include "base/text.h"
#include "platform/filesys.h"
#include "platform/msgbox.h"
#include "platform/process.h"
#include "runtime/command_line.h"
#include "runtime/config_paths.h"
#include "runtime/exit_status.h"

namespace rt {
namespace {

constexpr const char* kServicePackLog = "C:\\TarvelServicePack.log";

int quietDepth = 0;
uint32_t reportedFailures = 0;

// A log that cannot be opened or written (missing folder, read-only, empty
// path, no drive, full disk) skips the entry: the log writers must never fail.
// False when the entry was skipped.
bool AppendToLog(const std::string& path, const std::string& entry) {
  try {
    platform::AppendLine(path, entry);
    return true;
  } catch (...) {
    return false;
  }
}

std::string ErrorLogPath() {
  if (IntegratedMode) {
    QuietReports quiet;
    return GetPathLogfile();
  }
  return GetInstallationFolder() + "\\KVXcfglog.txt";
}

}  // namespace

QuietReports::QuietReports() {
  ++quietDepth;
}
QuietReports::~QuietReports() {
  --quietDepth;
}
bool ReportsAreQuiet() {
  return quietDepth > 0;
}

int32_t ErrorSub(int32_t number, const std::string& source, const std::string& description,
                 const std::string& procedureName, bool fatal) {
  ++reportedFailures;
  const std::string logLine = "Fehler in " + GetOCXName() + " / " + source + " / " + procedureName +
                              " (Nr. " + std::to_string(number) + ") :" + description;
  const std::string notice = WriteErrorLog(logLine, false);
  const std::string userText =
      "Unexpected error!" + std::string(kLfCr) + description + kLfCr + notice;
  if (SilentMode) {
    LogFault(userText);
    return 2;
  }
  if (!fatal) {
    platform::MessageBox box{userText + kLfCr + "Resume?", "Unexpected error",
                             platform::Buttons::YesNo, platform::Icon::Stop, 0};
    return platform::ShowMessageBox(box) == platform::Answer::No ? 1 : 2;
  }
  platform::ShowMessageBox(
      {userText, "Fatal error", platform::Buttons::OK, platform::Icon::Stop, 0});
  return 1;
}

std::string WriteErrorLog(const std::string& message, bool notify) {
  const std::string path = ErrorLogPath();
  // The notice must not claim an entry that is not there.
  const bool logged = AppendToLog(path, message);
  const std::string notice = (logged ? "Error logged to " : "Error could not be logged to ") +
                             std::string(kLfCr) + platform::UpperCase(path);
  if (notify) {
    ReportFault(notice);
    return {};
  }
  return notice;
}

void ReportFault(const std::string& message) {
  if (SilentMode) {
    LogFault(message);
    return;
  }
  platform::ShowMessageBox(
      {message, platform::ProgramFileName(), platform::Buttons::OK, platform::Icon::Stop, 0});
}

void LogFault(const std::string& message) {
  AppendToLog(kServicePackLog, "! Fault " + platform::ProgramFileName() + ": " + message);
}

uint32_t ReportedFailures() {
  return reportedFailures;
}

void EndProgram() {
  platform::EndProcess(kExitOther);
}

void Trap::Report(const platform::Failure& failure) const {
  if (ReportsAreQuiet()) return;
  if (ErrorSub(failure.number, failure.source, failure.description, procedure_, false) == 1) {
    EndProgram();
  }
}

}  // namespace rt
