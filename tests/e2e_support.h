// End-to-end runs: the built executable copied into a temporary installation
// tree (installation folder C:\Korvex, executable folder C:\Korvex\Start) and
// run with a script, as the configuration tool would start it.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace testsupport {

// Runs a program and returns what it wrote to standard output (with errorsToo,
// standard error as well; otherwise that goes nowhere); status, when given,
// gets its exit status (-1 when a signal ended it).
inline std::string Output(const std::vector<std::string>& args, int* status = nullptr,
                          bool errorsToo = false) {
  int out[2];
  if (pipe(out) != 0) return "";
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(errorsToo ? STDOUT_FILENO : null, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(out[0]);
  int raw = 0;
  waitpid(pid, &raw, 0);
  if (status != nullptr) *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return text;
}

// The built step laid at exe: the executable, and beside it a link to the
// desktop window's module where the build has one. True when it has.
inline bool LayStep(const std::filesystem::path& exe, bool withModule = true,
                    const char* built = START_CONFIG_EXE) {
  namespace fs = std::filesystem;
  fs::copy_file(built, exe, fs::copy_options::overwrite_existing);
  const fs::path module = fs::path(START_CONFIG_EXE).parent_path() / "Start_Config_desktop.so";
  if (!fs::exists(module)) return false;
  const fs::path link = exe.parent_path() / module.filename();
  fs::remove(link);
  if (withModule) fs::create_symlink(module, link);
  return true;
}

// The demo laid into a fresh drive C: with the built step in C:\Korvex\Start.
struct DemoTree {
  TempTree tree;
  DemoTree() {
    std::filesystem::copy(KORVEX_SOURCE_DIR "/demo/installation", tree.root(),
                          std::filesystem::copy_options::recursive);
    LayStep(tree.Host("Korvex/Start/Start_Config"));
  }
};

// Every file of the tree by its path below the root (the runs' own hidden files
// left out).
inline std::map<std::string, std::string> Files(const std::filesystem::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
    const std::string relative = std::filesystem::relative(e.path(), root).string();
    if (e.is_regular_file() && relative[0] != '.') files[relative] = ReadFile(e.path());
  }
  return files;
}

// Every file one run left is the same, to the byte, as the other run's.
inline void ExpectSameFiles(const std::map<std::string, std::string>& left,
                            const std::map<std::string, std::string>& wanted) {
  ASSERT_EQ(left.size(), wanted.size());
  for (const auto& [path, bytes] : wanted) {
    ASSERT_TRUE(left.count(path)) << path;
    EXPECT_EQ(left.at(path), bytes) << path;
  }
}

struct RunResult {
  int status = -1;         // exit status; -1 when a signal ended the step
  int signal = 0;          // the signal that ended it
  long peakKiB = 0;        // its peak resident size
  std::string transcript;  // standard output
  std::string errors;      // standard error
};

// One start of the step, as every helper that runs it gives it: the scripted
// runs and their pipes, the cases and the terminal in tmux.
struct StepStart {
  std::vector<std::string> args;  // args[0]: the executable
  std::vector<std::string> env;   // the whole environment, in order
  std::filesystem::path folder;   // the working directory
  // With a terminal: nothing of the rest. Standard input, a pipe's reading end
  // (-1: /dev/null); standard output and error, files.
  int input = -1;
  std::filesystem::path out, err;
  std::optional<rlim_t> fileSizeLimit;  // set in the step's process before the exec
  std::optional<rlim_t> fileLimit;      // open descriptors, likewise
  // The user the step runs as (the test must be root); none: the test's own.
  std::optional<passwd> user;
};

// Starts the step and returns at once with its process id (Reap waits for it).
// A descriptor the test keeps for itself must be close-on-exec.
inline pid_t StartStep(const StepStart& s) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const int in = s.input >= 0 ? s.input : open("/dev/null", O_RDONLY);
  if (dup2(in, STDIN_FILENO) < 0 || chdir(s.folder.c_str()) != 0) _exit(126);
  if (in > STDERR_FILENO) close(in);  // a spare descriptor would count against fileLimit
  if (!freopen(s.out.c_str(), "w", stdout) || !freopen(s.err.c_str(), "w", stderr)) _exit(126);
  if (s.fileSizeLimit) {
    const rlimit limit{*s.fileSizeLimit, *s.fileSizeLimit};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
  }
  if (s.fileLimit) {
    const rlimit limit{*s.fileLimit, *s.fileLimit};
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) _exit(126);
  }
  if (s.user && (initgroups(s.user->pw_name, s.user->pw_gid) != 0 ||
                 setgid(s.user->pw_gid) != 0 || setuid(s.user->pw_uid) != 0))
    _exit(126);
  std::vector<char*> argv, envp;
  std::vector<std::string> args = s.args, env = s.env;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& v : env) envp.push_back(v.data());
  envp.push_back(nullptr);
  execve(argv[0], argv.data(), envp.data());
  _exit(127);
}

// The same start as a command for a shell that runs it on its terminal; an
// environment entry without "=" passes on the shell's own value.
inline std::string ShellCommand(const StepStart& s) {
  const auto quoted = [](const std::string& word) {
    std::string q = "'";
    for (char c : word) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
  };
  std::string command = "cd " + quoted(s.folder.string()) + " && exec env -i";
  for (const std::string& v : s.env)
    command += " " + (v.find('=') == std::string::npos ? v + "=\"$" + v + "\"" : quoted(v));
  for (const std::string& a : s.args) command += " " + quoted(a);
  return command;
}

// Waits for a started step: its status, the signal that ended it and its peak
// resident size (what it wrote is for the caller to collect).
inline RunResult Reap(pid_t pid) {
  int raw = 0;
  rusage usage{};
  wait4(pid, &raw, 0, &usage);
  RunResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.signal = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
  result.peakKiB = usage.ru_maxrss;
  return result;
}

// How Installation::Start starts the step beside the usual.
struct StartOptions {
  std::vector<std::string> environment;  // besides KORVEX_SCRIPT, KORVEX_DRIVES, PATH
  // The script is read from standard input, a pipe whose writing end is
  // returned here.
  int* input = nullptr;
  std::filesystem::path scriptFile;     // the script as it lies, not the text given
  std::optional<rlim_t> fileSizeLimit;  // set in the step's process before the exec
  bool withoutScript = false;           // no KORVEX_SCRIPT: a window front end runs
};

// Lays a minimal installation: the executable and the folders Start and
// parameter; the CFG file and kvxconfiguration.ini on request. Everything is
// plain files below the tree.
class Installation {
 public:
  explicit Installation(TempTree& tree, const std::string& folder = "Korvex")
      : tree_(tree), folder_(folder) {
    tree_.MakeFolder(folder_ + "/Start");
    tree_.MakeFolder(folder_ + "/parameter");
    LayStep(tree_.Host(folder_ + "/Start/Start_Config"));
  }

  // kvxconfiguration.ini with NameM1.. and MonitorRes / VWStudio when given.
  void Configure(const std::vector<std::string>& machines, const std::string& monitorRes = "1024",
                 const std::string& vwStudio = "False") {
    std::string ini = "[Common]\r\n";
    for (size_t i = 0; i < machines.size(); ++i)
      ini += "NameM" + std::to_string(i + 1) + "=" + machines[i] + "\r\n";
    if (!monitorRes.empty()) ini += "MonitorRes=" + monitorRes + "\r\n";
    if (!vwStudio.empty()) ini += "VWStudio=" + vwStudio + "\r\n";
    Write("parameter/kvxconfiguration.ini", ini);
  }
  void ValidMachines(const std::string& text) {
    Write("Start/Start.cfg", "[Project]\r\nValidMachines=" + text + "\r\n");
  }
  // The usual installation of a scripted run: the machines configured (monitor
  // 1024, no studio), the valid ones in the CFG file, and the maker's logo.
  void Prepare(const std::vector<std::string>& machines, const std::string& validMachines = "ALL") {
    Configure(machines);
    ValidMachines(validMachines);
    Write("Start/Start_Logo.bmp", Bitmap());
  }

  void Write(const std::string& relative, const std::string& bytes) {
    tree_.Write(folder_ + "/" + relative, bytes);
  }
  std::string Read(const std::string& relative) const {
    return tree_.Read(folder_ + "/" + relative);
  }
  bool Exists(const std::string& relative) const { return tree_.Exists(folder_ + "/" + relative); }

  // Runs the step with the command line (split at blanks into arguments) and
  // the script; KORVEX_DRIVES as the tree sets it, working directory the tree's
  // root (drive C:). No shell is involved, so backslashes arrive as written.
  RunResult Run(const std::string& commandLine, const std::string& script,
                const std::vector<std::string>& extraEnvironment = {}) const {
    return Finish(Start(commandLine, script, extraEnvironment));
  }

  // Starts the step as Run does and returns at once with its process id. With
  // input given, the script is read from standard input, a pipe whose writing
  // end is returned there (the script text is ignored).
  pid_t Start(const std::string& commandLine, const std::string& script,
              const std::vector<std::string>& extraEnvironment = {}, int* input = nullptr) const {
    StartOptions options;
    options.environment = extraEnvironment;
    options.input = input;
    return Start(commandLine, script, options);
  }
  pid_t Start(const std::string& commandLine, const std::string& script,
              const StartOptions& options) const {
    // The run's files carry a number of their own, so that runs side by side keep apart.
    const int run = ++runs_;
    StepStart start;
    start.args = {tree_.Host(folder_ + "/Start/Start_Config").string()};
    std::istringstream words(commandLine);
    for (std::string w; words >> w;) start.args.push_back(w);
    const std::filesystem::path scriptFile = RunFile(".script", run);
    if (options.scriptFile.empty()) WriteFile(scriptFile, script);
    start.env = options.environment;
    if (!options.withoutScript)
      start.env.push_back("KORVEX_SCRIPT=" + (options.input ? std::string("-")
                                              : options.scriptFile.empty()
                                                  ? scriptFile.string()
                                                  : options.scriptFile.string()));
    start.env.push_back(std::string("KORVEX_DRIVES=") + getenv("KORVEX_DRIVES"));
    start.env.push_back("PATH=/usr/bin:/bin");
    start.folder = tree_.root();
    start.out = RunFile(".stdout", run);
    start.err = RunFile(".stderr", run);
    start.fileSizeLimit = options.fileSizeLimit;
    int pipeFds[2] = {-1, -1};
    if (options.input != nullptr) {
      if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
      start.input = pipeFds[0];
    }
    const pid_t pid = StartStep(start);
    if (options.input != nullptr) {
      close(pipeFds[0]);
      *options.input = pipeFds[1];
    }
    if (pid > 0) started_[pid] = run;
    return pid;
  }

  // Waits for a step that Start started and collects what it wrote.
  RunResult Finish(pid_t pid) const {
    RunResult result = Reap(pid);
    const int run = started_[pid];
    started_.erase(pid);
    result.transcript = ReadFile(RunFile(".stdout", run));
    result.errors = ReadFile(RunFile(".stderr", run));
    for (const char* name : {".script", ".stdout", ".stderr"})
      std::filesystem::remove(RunFile(name, run));
    return result;
  }
  std::filesystem::path RunFile(const char* name, int run) const {
    return tree_.root() / (name + std::string("-") + std::to_string(run));
  }

  std::string Integrated() const { return "/EXTERNAL=KVXCFG"; }

 private:
  TempTree& tree_;
  std::string folder_;
  mutable int runs_ = 0;
  mutable std::map<pid_t, int> started_;
};
// ---------------------------------------------------------------------------
// Reading a transcript's "dump" output: one line a control, indented by two
// blanks, "  Name Kind visible=.. shown=.. enabled=.. ...".

// A control's line in the last dump of the transcript, without the indent;
// empty when no dump shows it.
inline std::string DumpLine(const std::string& transcript, const std::string& control) {
  const size_t at = transcript.rfind("\n  " + control + " ");
  if (at == std::string::npos) return "";
  return transcript.substr(at + 3, transcript.find('\n', at + 1) - at - 3);
}

// The text="..." of a control in the last dump of the transcript.
inline std::string DumpedText(const std::string& transcript, const std::string& control) {
  const std::string line = DumpLine(transcript, control);
  const size_t start = line.find(" text=\"");
  if (start == std::string::npos) return "<no text of " + control + ">";
  return line.substr(start + 7, line.find('"', start + 7) - start - 7);
}

// Each control's line of the last dump must contain the text given for it.
inline void ExpectDump(const std::string& transcript,
                       const std::vector<std::pair<std::string, std::string>>& expected) {
  for (const auto& [control, part] : expected) {
    const std::string line = DumpLine(transcript, control);
    EXPECT_NE(line.find(part), std::string::npos) << control << ": " << line;
  }
}

}  // namespace testsupport
