// Entry point: finds the executable's place among the drives, then loads the
// window through the front end chosen by the environment.
#include <csignal>
#include <iostream>
#include <optional>
#include <string>

#include "app/choose.h"
#include "platform/process.h"
#include "runtime/exit_status.h"

namespace {

const char* const kUsage =
    R"(Usage: Start_Config /EXTERNAL=KVXCFG [/LOGFILE=file] [/SOURCEPATH=folder\]
       Start_Config --help | --version

The step "Start - Standardkonfiguration" of the Korvex configuration procedure.
The configuration tool starts it with these options (words in any letter case;
a value runs to the next "/" and is read in upper case):
  /EXTERNAL=KVXCFG      started by the configuration tool; any other start
                        (/EXTERNAL=SILENT too) ends while loading
  /LOGFILE=file         the error log, as a Windows path
  /SOURCEPATH=folder\   the folder the brand database and machine pictures are
                        copied from, with its trailing backslash

Environment:
  KORVEX_DRIVES    drive letters mapped to host folders, e.g. C=/srv/plant-c;D=/media/usb
                   (C: is / unless mapped); the executable must lie under a drive
  KORVEX_SCRIPT    a file of actions (- for standard input) that operates the window;
                   a transcript goes to standard output
  KORVEX_FRONTEND  window or terminal: forces the graphical or the terminal window
                   (otherwise the graphical one where a display is, else the terminal);
                   a forced window opens on the QT_QPA_PLATFORM named (linuxfb, eglfs, vnc)
  KORVEX_KEYPAD    on: every click into a speed factor opens the on-screen number keys

The graphical window is the module Start_Config_desktop.so (Qt 6 Widgets) in the
executable's own folder, loaded only when that window is to open. Where it cannot
be loaded (absent, Qt missing, of another build), one line says why and the
terminal window opens instead; with KORVEX_FRONTEND=window the step ends, status 1.

Exit statuses:
  0        OK has done its work and nothing failed on the way
  1        every other end: not started integrated, missing CFG file, No to
           "Resume?", a start-up or script error, another start already running
  2        cancel or close confirmed with Yes (the cancel mark is written)
  3        left with the window open (script ended, terminal or display gone, an
           unexpected failure): the cancel mark is written
  4        OK or a confirmed cancel ran to its end, but a failure was reported
  128+n    ended by signal n (SIGHUP 129, SIGINT 130, SIGTERM 143), the cancel
           mark written first
)";

// --help or --version alone on the command line: answered before anything is
// looked at, so that asking never touches a file. Nothing: not asked.
std::optional<int> AnswerAsked(int argc, char** argv) {
  if (argc != 2) return std::nullopt;
  const std::string asked = argv[1];
  if (asked == "--help") {
    std::cout << kUsage;
  } else if (asked == "--version") {
    const platform::Version v = platform::ProgramVersion();
    std::cout << "Start_Config " << v.major << "." << v.minor << "." << v.revision << "\n";
  } else {
    return std::nullopt;
  }
  std::cout.flush();
  return std::cout ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (const std::optional<int> status = AnswerAsked(argc, argv)) return *status;
  // Over a file-size limit a write then fails with EFBIG and is reported like a
  // full disk, instead of the signal ending the step half-way.
  std::signal(SIGXFSZ, SIG_IGN);
  const std::string problem = platform::InitProcess(argc, argv);
  if (!problem.empty()) {
    std::cerr << "Start_Config: " << problem << "\n";
    return kExitOther;
  }
  try {
    return app::Run();
  } catch (const std::exception& failure) {
    // Before the window exists nothing has been written that a mark would undo.
    std::cerr << "Start_Config: the step failed (" << failure.what() << ")\n";
    return kExitOther;
  }
}
