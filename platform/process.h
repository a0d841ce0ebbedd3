// Process information, as the Windows runtime offers it: the command-line text,
// the executable's folder, name and version, the first environment entry, and
// ending the process at once.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct Version {
  int major;
  int minor;
  int revision;
};

// Remembers argv and finds the executable's folder. Returns an error text (for
// stderr) when the executable lies under no mapped drive; empty when all is well.
std::string InitProcess(int argc, char** argv);

// The arguments after the program name, joined by single blanks.
std::string CommandLineText();
// The folder of the executable as a Windows path without trailing backslash (a
// drive root keeps its backslash: "C:\").
std::string ExecutableFolder();
// The executable's file name without folder and extension ("Start_Config").
std::string ProgramFileName();
// The version set in the build.
Version ProgramVersion();
// The first entry of the process environment ("NAME=value"), empty when there is
// none.
std::string FirstEnvironmentEntry();

// Holds an exclusive lock on a folder until the process ends, however it ends
// (the kernel drops it; no lock file is left), also on a folder that can be
// searched but not listed. False only when another process holds it; a folder
// that does not exist is not locked and gives true.
bool LockFolderForLife(std::string_view winFolder);

// Ends the process at once with the given status: no destructors, no handlers.
// The files written are synced (SyncWrittenFiles) and standard output and error
// flushed first, so that a transcript is complete and the step's files are on
// disk when its end is reported.
[[noreturn]] void EndProcess(int status);
// A front end's last word before the process ends (the transcript's closing line).
void SetProcessEndNote(std::function<void(int status)> note);

// For tests: replace what the process reports.
void SetProcessForTesting(std::string commandLine, std::string executableFolder,
                          std::string programFileName);

}  // namespace platform
