#include "app/script/script.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <vector>

#include "app/common/actions.h"
#include "app/common/lifecycle.h"
#include "app/common/presentation.h"
#include "base/termination.h"
#include "files/file_cache.h"
#include "platform/process.h"

namespace script {
namespace {

using app::Action;
using app::EscapeControls;
using app::Queues;
using app::Quoted;
using app::Verb;

[[noreturn]] void ScriptError(int line, const std::string& text) {
  std::cerr << "Start_Config: script line " << line << ": " << EscapeControls(text) << "\n";
  platform::SetProcessEndNote(nullptr);
  platform::EndProcess(kExitOther);
}

// Message boxes and file dialogs answered from the queues, each shown in the
// transcript.
void InstallScriptedDialogs(frm_Start_Config_Exe& form, Queues& queues, std::ostream& out) {
  platform::SetMessageBoxHandler([&queues, &out](const platform::MessageBox& box) {
    out << "msgbox title=" << Quoted(box.title) << " icon=" << platform::ToString(box.icon)
        << " buttons=" << platform::ToString(box.buttons)
        << " default=" << platform::ToString(platform::DefaultAnswer(box)) << "\n"
        << "  text=" << Quoted(box.text) << "\n";
    platform::Answer answer = platform::DefaultAnswer(box);
    std::string how = "default";
    if (!queues.answers.empty()) {
      auto [queued, line] = queues.answers.front();
      const bool fits = box.buttons == platform::Buttons::OK ? queued == platform::Answer::OK
                                                             : queued != platform::Answer::OK;
      if (!fits) {
        out << "  answer=" << platform::ToString(queued) << " does not fit\n";
        ScriptError(line, "answer " + platform::ToString(queued) + " does not fit the box " +
                              Quoted(box.title) + " with buttons " +
                              platform::ToString(box.buttons));
      }
      queues.answers.pop_front();
      answer = queued;
      how = "queued";
    }
    out << "  answer=" << platform::ToString(answer) << " (" << how << ")\n";
    return answer;
  });
  form.window.onFileDialog = [&queues, &out](const ui::FileDialogRequest& request) {
    out << "filedialog title=" << Quoted(request.title) << " filter=" << Quoted(request.filter)
        << " initdir=" << Quoted(request.initDir) << " filename=" << Quoted(request.fileName)
        << "\n";
    std::optional<std::string> result;
    if (!queues.files.empty()) {
      result = queues.files.front().first;
      queues.files.pop_front();
    }
    out << "  result=" << (result ? Quoted(*result) : std::string("cancel")) << "\n";
    return result;
  };
  form.window.onFrontEndNote = [&out](const std::string& note) { out << note << "\n"; };
}

constexpr size_t kMaxScriptBytes = size_t{16} << 20;
constexpr size_t kMaxLineBytes = size_t{64} << 10;
// Every action is held until the script has been read whole; the bound keeps
// that in memory bounds however short the lines are.
constexpr size_t kMaxActions = 100000;

[[noreturn]] void Unreadable(const std::string& name, const std::string& why) {
  std::cerr << "Start_Config: cannot read the script " << EscapeControls(name) << ": " << why
            << "\n";
  platform::SetProcessEndNote(nullptr);
  platform::EndProcess(kExitOther);
}

// Opens the script: standard input for "-", otherwise a regular file whose
// first byte can be read. -1 with the reason in why when it cannot be used.
int OpenScript(const std::string& name, std::string& why) {
  if (name == "-") return STDIN_FILENO;
  // Not blocking, so that a FIFO named as the script is refused, not waited on.
  const int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    why = std::strerror(errno);
    return -1;
  }
  struct stat st {};
  char first = 0;
  if (fstat(fd, &st) != 0) {
    why = std::strerror(errno);
  } else if (S_ISDIR(st.st_mode)) {
    why = "it is a folder";
  } else if (!S_ISREG(st.st_mode)) {
    why = "it is no regular file";
  } else if (pread(fd, &first, 1, 0) < 0) {
    why = std::strerror(errno);
  } else {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
  }
  close(fd);
  return -1;
}

// The script's bytes, read in blocks. A request to end while it waits for
// more (a pipe whose writer is slow) is raised, however much of a line came.
class ScriptInput {
 public:
  ScriptInput(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  // The next byte, or -1 at the end of the script.
  int Next() {
    if (at_ == size_ && !Fill()) return -1;
    return static_cast<unsigned char>(buffer_[at_++]);
  }
  // The next byte without taking it, or -1 at the end.
  int Peek() {
    if (at_ == size_ && !Fill()) return -1;
    return static_cast<unsigned char>(buffer_[at_]);
  }

 private:
  bool Fill() {
    for (;;) {
      platform::CheckTermination();
      pollfd waits[2] = {{fd_, POLLIN, 0}, {platform::EndRequestDescriptor(), POLLIN, 0}};
      if (poll(waits, waits[1].fd >= 0 ? 2 : 1, -1) < 0) {
        if (errno != EINTR) Unreadable(name_, std::strerror(errno));
        continue;  // a request is raised at the top
      }
      if (waits[1].revents != 0) continue;
      const ssize_t n = read(fd_, buffer_, sizeof buffer_);
      // A request that came with the last bytes (or the end) still counts.
      platform::CheckTermination();
      if (n > 0) {
        at_ = 0;
        size_ = static_cast<size_t>(n);
        return true;
      }
      if (n == 0) return false;
      if (errno != EINTR && errno != EAGAIN) Unreadable(name_, std::strerror(errno));
    }
  }

  int fd_;
  std::string name_;
  char buffer_[64 << 10];
  size_t at_ = 0, size_ = 0;
};

// Reads the next line (without its LF) into line; false at the end of the
// script. total counts the script's bytes so far. A script or a line over its
// bound is refused as soon as the bound is crossed, so that neither is ever
// held in memory whole.
bool ReadScriptLine(ScriptInput& in, std::string& line, size_t& total, int number) {
  line.clear();
  for (;;) {
    const int c = in.Next();
    if (c < 0) return !line.empty();
    if (++total > kMaxScriptBytes) ScriptError(number, "the script is longer than 16 MiB");
    if (c == '\n') return true;
    // The CR of a CR LF line end does not count towards the line.
    const bool lineEnd = c == '\r' && in.Peek() == '\n';
    if (line.size() >= kMaxLineBytes && !(lineEnd && line.size() == kMaxLineBytes))
      ScriptError(number, "the line is longer than 64 KiB");
    line.push_back(static_cast<char>(c));
  }
}

// Reads and checks the whole script before the window loads, so that a bad
// line is refused before anything is written.
std::vector<Action> ReadActions(ScriptInput& in, const frm_Start_Config_Exe& form) {
  std::vector<Action> actions;
  std::string line, error;
  size_t total = 0;
  for (int number = 1; ReadScriptLine(in, line, total, number); ++number) {
    std::optional<Action> action = app::ParseAction(line, number, error);
    if (!action || !app::CheckAction(form, *action, error)) ScriptError(number, error);
    if (action->verb == Verb::None) continue;
    if (actions.size() == kMaxActions)
      ScriptError(number, "the script has more than " + std::to_string(kMaxActions) + " actions");
    actions.push_back(std::move(*action));
  }
  return actions;
}

void RunActions(frm_Start_Config_Exe& form, ScriptInput& in, Queues& queues, std::ostream& out) {
  const std::vector<Action> actions = ReadActions(in, form);
  // Answers given before the first action on the window are for the boxes of
  // the start-up.
  size_t next = 0;
  for (; next < actions.size(); ++next) {
    const Action& a = actions[next];
    if (a.verb != Verb::Answer && a.verb != Verb::File) break;
    app::ApplyAction(form, a, queues, out);
  }
  form.Form_Load();
  out << "window shown caption=" << Quoted(form.window.Caption()) << "\n";
  out.flush();
  // The writes of each handler are synced once, when it returns (those of the
  // start-up as soon as the window shows).
  platform::SyncWrittenFiles();
  for (; next < actions.size(); ++next) {
    const Action& a = actions[next];
    out << "> " << a.source << "\n";
    const app::Outcome outcome = app::ApplyAction(form, a, queues, out);
    platform::SyncWrittenFiles();
    if (outcome.kind == app::Outcome::Kind::Ignored) out << "ignored: " << outcome.reason << "\n";
    if (outcome.Failed()) {
      out << "script stopped with the window open\n";
      form.LeaveWithoutOK();
      ScriptError(a.line, outcome.reason);
    }
  }
}

}  // namespace

void RunScript(const std::string& scriptName) {
  std::ostream& out = std::cout;
  std::string why;
  const int fd = OpenScript(scriptName, why);
  if (fd < 0) Unreadable(scriptName, why);
  ScriptInput in(fd, scriptName);

  auto form = std::make_unique<frm_Start_Config_Exe>();
  Queues queues;
  InstallScriptedDialogs(*form, queues, out);
  // Claimed before the script is read, which may take as long as its writer.
  app::ClaimOrEnd();
  platform::SetProcessEndNote(
      [&](int status) { out << "process ended with status " << status << "\n"; });

  try {
    RunActions(*form, in, queues, out);
  } catch (const platform::EndRequest& request) {
    out << "end requested by signal " << request.signal << " with the window open\n";
    app::EndOnRequest(*form, request.signal);
  } catch (const std::exception& failure) {
    out << "the step failed with the window open\n";
    app::EndOnFailure(*form, failure);
  }
  out << "script ended with the window open\n";
  app::EndWithWindowOpen(*form, "");
}

}  // namespace script
