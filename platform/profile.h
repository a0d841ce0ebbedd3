// The Windows private-profile (INI) services, ANSI versions, with their
// documented behaviour. Files are named by Windows paths, read and written in
// Windows-1252; the texts given and returned here are UTF-8. Every call reads
// the file as it is on disk now.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct ProfileString {
  uint32_t count;    // characters copied, as the service returns it
  std::string text;  // the buffer's contents, count characters
};

// GetPrivateProfileStringA for one key: section and key compared without case
// and trimmed; the first section of a name wins, and of duplicate keys the
// first; ";" starts a comment only at the start of a line; blanks around keys
// and values are ignored; a value in a matching pair of quotes comes back
// without them. The value (or, when the entry is missing, the default without
// its trailing blanks) is cut to bufferSize - 1 characters.
ProfileString GetPrivateProfileStringA(std::string_view section, std::string_view key,
                                       std::string_view defaultText, uint32_t bufferSize,
                                       std::string_view file);

// GetPrivateProfileIntA: the default when the entry is missing; otherwise an
// optional sign and the leading number of the value ("12abc" 12, "0x10" 16,
// no digits 0), in 32-bit arithmetic.
int32_t GetPrivateProfileIntA(std::string_view section, std::string_view key, int32_t defaultValue,
                              std::string_view file);

// WritePrivateProfileStringA: replaces the value of an existing entry in its
// line, adds a missing entry after the last entry of its section and a missing
// section at the end of the file; new lines end in CR LF; every other line stays
// byte for byte. A missing file is created, a missing folder is not. Returns
// nonzero on success, 0 on failure; a section, key or value holding CR, LF or
// NUL is refused with 0 and nothing written.
int32_t WritePrivateProfileStringA(std::string_view section, std::string_view key,
                                   std::string_view value, std::string_view file);

// Several entries written as WritePrivateProfileStringA would write them one
// after the other, in one read-modify-write of the file: the same bytes, one
// rewrite. An entry that its own write would refuse is left out, and the
// result is then 0, as for a failed write.
struct ProfileEntry {
  std::string section, key, value;
};
int32_t WritePrivateProfileEntries(const std::vector<ProfileEntry>& entries, std::string_view file);

}  // namespace platform
