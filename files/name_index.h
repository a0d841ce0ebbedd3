// Case-insensitive lookup of names in host folders, for a path resolution that
// ignores letter case, as Windows resolves names. Reading a whole folder for
// every name that is not there in the exact letter case made a copy into a
// growing folder quadratic, so the names of a few recently used folders are
// kept in indexes.
//
// An index never answers from an older state of its folder: before every lookup
// it takes in the changes the kernel reported for the folder since the last one
// (inotify; the step's own new files arrive the same way), and it belongs to the
// folder's device and inode, not to its path, so that a path that leads to
// another folder now finds another index. Where no change notification can be
// had, and on file systems whose changes may come from elsewhere (network and
// user-space file systems, files/file_trust.h), nothing is kept: every lookup
// reads the folder.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The name of an entry of the host folder dir that equals name ignoring letter
// case (base/text.h EqualIgnoringCase); of several such, the smallest in byte
// order. Nothing when there is none or the folder cannot be read. The exact name
// gets no preference here: callers look for it first with one lstat. dirStat,
// when given, is a stat of dir that the caller has just made.
std::optional<std::string> FindNameIgnoringCase(const std::filesystem::path& dir,
                                                std::string_view name,
                                                const struct stat* dirStat = nullptr);

// How indexes are kept current, so that tests can run each way.
enum class NameIndexMode {
  kNotified,   // change notification where the file system allows it (the default)
  kUnindexed,  // every lookup reads the folder, as without change notification
};
void SetNameIndexModeForTesting(NameIndexMode mode);
// How often a folder has been read whole for a lookup since the process started.
uint64_t FolderReadsForTesting();

}  // namespace platform
