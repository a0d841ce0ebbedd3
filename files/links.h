// Symbolic links on the way of a write or a copy: the file a write goes to,
// links of other users that lead out of the installation, and sources that a
// link leads out of the folder they are named in. Paths are host paths.
#pragma once

#include <filesystem>
#include <optional>

namespace platform {

// The file a write to host goes to: a symbolic link is followed, so that the
// linked file gets the new contents and the link stays.
std::filesystem::path ReplacementTarget(const std::filesystem::path& host);

// The installation folder: a write follows every link that leads into it. Set
// once at start-up; until then no folder counts as inside.
void SetInstallationFolder(const std::filesystem::path& host);

// Where a write to host would be led by a symbolic link (the file's own or a
// folder's on its way) that neither the step's user nor root has made and that
// leads out of the installation folder: such a link may have been planted to
// turn the write of a privileged step onto a file its maker may not write.
// Nothing when there is none.
std::optional<std::filesystem::path> ForeignLink(const std::filesystem::path& host);

// A source at host (open as fd) named as lying in the folder root must really
// lie there: a symbolic link in that folder (of the file or of a folder on its
// way) must not lead out of it. A source named elsewhere is not confined.
bool StaysWithin(const std::filesystem::path& host, int fd, const std::filesystem::path& root);

}  // namespace platform
