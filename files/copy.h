// File copies that leave the destination either as it was or wholly new, even
// when the process is killed: written to a temporary file beside it
// (files/temporary.h) and renamed over it, with the holes of a sparse source
// kept. Paths are host paths; failures are raised as platform::Failure
// (base/failure.h) with the numbers the runtime uses.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

namespace platform {

// How far a copy has come, for a front end that shows it: the destination, the
// bytes copied so far and the source's size; told before the first chunk and
// after each one. Nothing is told while no observer is set.
using CopyProgress =
    std::function<void(std::string_view destination, uint64_t copied, uint64_t size)>;
void SetCopyProgress(CopyProgress progress);

// Copies the file at source to destination, whose name shownAs gives in the
// progress and whose foreign links the caller has refused. Raises 53 when the
// source is missing, 76 when the destination folder is missing, 58 when the
// destination exists and overwrite is false, 70 when the destination is
// read-only or a folder, or missing in a folder that takes no new files, 61 on
// a full disk. Copying a file onto itself leaves it as it is. A writable
// destination in a folder where the system refuses the temporary file, or
// whose owner cannot be kept, is overwritten in place instead (not proof
// against a crash). A pending termination request (base/termination.h) is
// raised between the chunks of a copy, after the temporary file is removed.
//
// With confinedRoot, a source below it that a symbolic link leads out of it
// (files/links.h StaysWithin) is refused with 70, naming the folder as
// confinedTo.
void CopyHostFile(const std::filesystem::path& source, const std::filesystem::path& destination,
                  bool overwrite, const std::optional<std::filesystem::path>& confinedRoot,
                  std::string_view confinedTo, std::string_view shownAs);

}  // namespace platform
