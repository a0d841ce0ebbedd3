#include "base/failure.h"

#include <filesystem>
#include <new>
#include <system_error>

namespace platform {

Failure::Failure(int32_t n, std::string src, std::string desc)
    : std::runtime_error(desc), number(n), source(std::move(src)), description(std::move(desc)) {}

std::string StandardDescription(int32_t number) {
  switch (number) {
    case 5:
      return "Invalid procedure call or argument";
    case 6:
      return "Overflow";
    case 7:
      return "Out of memory";
    case 9:
      return "Subscript out of range";
    case 13:
      return "Type mismatch";
    case 52:
      return "Bad file name or number";
    case 53:
      return "File not found";
    case 55:
      return "File already open";
    case 57:
      return "Device I/O error";
    case 58:
      return "File already exists";
    case 61:
      return "Disk full";
    case 64:
      return "Bad file name";
    case 68:
      return "Device unavailable";
    case 70:
      return "Permission denied";
    case 71:
      return "Disk not ready";
    case 75:
      return "Path/File access error";
    case 76:
      return "Path not found";
    case 340:
      return "Control array element does not exist";
    case 360:
      return "Object already loaded";
    case 380:
      return "Invalid property value";
    case 383:
      return "'Text' property is read-only";
    case 438:
      return "Object doesn't support this property or method";
    case 481:
      return "Invalid picture";
    default:
      return "Application-defined or object-defined error";
  }
}

void Raise(int32_t number, std::string description, std::string source) {
  if (description.empty()) description = StandardDescription(number);
  throw Failure(number, std::move(source), std::move(description));
}

int32_t FailureNumberForErrno(int code) {
  switch (code) {
    case ENOENT:
      return kFileNotFound;
    case ENOTDIR:
      return kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
    case ETXTBSY:
      return kPermissionDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:  // over the file-size limit
      return kDiskFull;
    case ENAMETOOLONG:
    case EINVAL:
      return kBadFileName;
    case EEXIST:
      return kFileAlreadyExists;
    case EISDIR:
      return kPathFileAccessError;
    case ENOMEM:
      return kOutOfMemory;
    default:
      return 57;  // Device I/O error
  }
}

Failure AsFailure(const std::exception& e) {
  if (auto* f = dynamic_cast<const Failure*>(&e)) return *f;
  if (dynamic_cast<const std::bad_alloc*>(&e)) {
    return Failure(kOutOfMemory, kProjectName, StandardDescription(kOutOfMemory));
  }
  if (auto* se = dynamic_cast<const std::system_error*>(&e)) {
    int32_t n = FailureNumberForErrno(se->code().value());
    return Failure(n, kProjectName, StandardDescription(n));
  }
  if (dynamic_cast<const std::out_of_range*>(&e)) {
    return Failure(kSubscriptOutOfRange, kProjectName, StandardDescription(kSubscriptOutOfRange));
  }
  return Failure(kInvalidProcedureCall, kProjectName, StandardDescription(kInvalidProcedureCall));
}

}  // namespace platform
