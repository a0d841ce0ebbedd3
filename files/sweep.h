// The sweep of what killed writers left: the named temporary files of this
// program (files/temporary.h) whose process no longer runs.
#pragma once

#include <filesystem>

namespace platform {

// Removes from the host folder the temporary files of this program
// (".<name>.kvxtmp-<process id>-<number>") whose process no longer runs.
// Touches nothing else; never raises.
void RemoveStaleTemporariesAt(const std::filesystem::path& host);

}  // namespace platform
