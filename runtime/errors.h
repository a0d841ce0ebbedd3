// Error reporting and the two logs, and the error-handling contract that every
// procedure of the step follows: the procedure names itself, each of its
// statements runs guarded, a failure goes to ErrorSub, whose answer 1 ends the
// process and 2 continues with the next statement. A value the failed statement
// should have produced keeps what it held.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "base/failure.h"
#include "base/termination.h"

namespace rt {

// Line breaks inside message texts: a line feed, then a carriage return.
inline constexpr const char* kLfCr = "\n\r";

// Reports one failure: error-log line, then the "Resume?" question (or the
// service-pack log in silent mode). 1: end the program; 2: continue.
int32_t ErrorSub(int32_t number, const std::string& source, const std::string& description,
                 const std::string& procedureName, bool fatal);

// Appends message to the error log; returns the "Error logged to " notice (or,
// when the log could not be written, "Error could not be logged to "), or
// hands it to ReportFault and returns "" when notify is true.
std::string WriteErrorLog(const std::string& message, bool notify);

// A fault message in a box titled with the program file name, or in silent mode a
// line of the service-pack log.
void ReportFault(const std::string& message);
// Always a line of the service-pack log.
void LogFault(const std::string& message);

// How many failures ErrorSub has reported since the process started; a commit
// or a cancel compares it before and after to tell whether all went well.
uint32_t ReportedFailures();

// Ends the program at once (status 1): nothing else runs.
[[noreturn]] void EndProgram();

// The procedure's trap. Usage:
//   const rt::Trap step("WriteInputs");
//   step([&] { valid = GetValidMachines(); });
//   step([&] { ini = GetProgramIniPath(2); });
class Trap {
 public:
  explicit Trap(std::string procedure) : procedure_(std::move(procedure)) {}

  // Before each statement a pending request to end the process is raised
  // (base/termination.h); it passes every trap.
  template <class Step>
  void operator()(Step&& statement) const {
    platform::CheckTermination();
    try {
      std::forward<Step>(statement)();
    } catch (const std::exception& e) {
      Report(platform::AsFailure(e));
    }
  }

  // Hands a failure to ErrorSub under this procedure's name; ends the program
  // when the answer is 1.
  void Report(const platform::Failure& failure) const;
  const std::string& procedure() const { return procedure_; }

 private:
  std::string procedure_;
};

// While an object of this type lives, traps clear failures without reporting
// them. The error routine uses it while it looks up its own log path, so that a
// failing lookup cannot report itself again without end.
class QuietReports {
 public:
  QuietReports();
  ~QuietReports();
  QuietReports(const QuietReports&) = delete;
  QuietReports& operator=(const QuietReports&) = delete;
};
bool ReportsAreQuiet();

}  // namespace rt
