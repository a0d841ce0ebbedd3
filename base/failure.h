// Run-time failures as the Windows runtime knows them: a number, the component
// that raised it and a description. Every platform call reports trouble this way;
// the procedures of the step trap them (runtime/errors.h).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace platform {

// The project name, which the runtime gives as the source of failures raised by
// the program itself.
inline constexpr const char* kProjectName = "Start_Config_Exe";

// Numbers used by the step and its platform layer.
enum FailureNumber : int32_t {
  kInvalidProcedureCall = 5,
  kOverflow = 6,
  kOutOfMemory = 7,
  kSubscriptOutOfRange = 9,
  kTypeMismatch = 13,
  kFileNotFound = 53,
  kFileAlreadyOpen = 55,
  kFileAlreadyExists = 58,
  kDeviceIOError = 57,
  kDiskFull = 61,
  kBadFileName = 64,
  kPermissionDenied = 70,
  kDiskNotReady = 71,
  kPathFileAccessError = 75,
  kPathNotFound = 76,
  kDeviceUnavailable = 68,
  kControlArrayElementMissing = 340,
  kObjectAlreadyLoaded = 360,
  kInvalidPropertyValue = 380,
  kTextReadOnly = 383,
  kPropertyNotSupported = 438,
  kInvalidPicture = 481,
};

struct Failure : std::runtime_error {
  Failure(int32_t number, std::string source, std::string description);
  int32_t number;
  std::string source;
  std::string description;
};

// The text the runtime gives for a failure number ("File not found" for 53).
std::string StandardDescription(int32_t number);

// Raises a failure; the description defaults to the standard text of the number.
[[noreturn]] void Raise(int32_t number, std::string description = {},
                        std::string source = kProjectName);

// The failure number for an operating-system error code (ENOENT gives 53).
int32_t FailureNumberForErrno(int code);

// Turns any exception that escaped a platform call into the failure the runtime
// would have reported for it.
Failure AsFailure(const std::exception& e);

}  // namespace platform
