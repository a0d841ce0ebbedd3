// Writing in place, where a folder takes no new files or the owner of a file
// cannot be given to a new one. Not atomic, so whatever can be known to fail is
// tried before the first byte changes.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <filesystem>
#include <string_view>

namespace platform {

// Room for a file growing from oldSize to newSize: the size limit of the process
// and the free space. Returns 0 or an errno.
int MakeRoom(int fd, off_t oldSize, off_t newSize);

// Opens the existing target for writing in place: still the writable regular
// file it was. Returns the descriptor or -1 with errno set.
int OpenInPlace(const std::filesystem::path& target, struct stat& st);

// The whole bytes as the new contents of the existing file, same inode, mode and
// owner; written gets the file's state afterwards. False on any failure. Synced
// with the other written files, not here.
bool WriteInPlace(const std::filesystem::path& target, const struct stat& old,
                  std::string_view bytes, struct stat& written);

}  // namespace platform
