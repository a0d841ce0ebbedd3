#include "app/front_end.h"

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <vector>

#include "app/actions.h"
#include "app/instance.h"
#include "app/tui.h"
#include "app/window/window.h"
#include "platform/file_cache.h"
#include "platform/process.h"
#include "platform/termination.h"
#include "platform/text.h"

namespace app {
namespace {

// Script text in a message to the terminal: control characters (C0, DEL, the
// C1 range) and bytes that are no UTF-8 are shown as escapes, so that a bad
// line cannot send the terminal escape sequences.
std::string EscapeControls(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t at = 0; at < text.size();) {
    const size_t from = at;
    const char32_t c = platform::DecodeUtf8At(text, at);
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == platform::kNoUtf8 || c < 0x20 || c == 0x7F) {
      const auto byte = static_cast<unsigned char>(text[from]);
      out += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
    } else if (c >= 0x80 && c <= 0x9F) {
      out += {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
    } else {
      out.append(text, from, at - from);
    }
  }
  return out;
}

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

// Reads the next line (without its LF) into line; false at the end of the
// script. total counts the script's bytes so far. A script or a line over its
// bound is refused as soon as the bound is crossed, so that neither is ever
// held in memory whole.
bool ReadScriptLine(std::streambuf& in, std::string& line, size_t& total, int number) {
  using Traits = std::char_traits<char>;
  line.clear();
  for (;;) {
    const Traits::int_type c = in.sbumpc();
    if (Traits::eq_int_type(c, Traits::eof())) return !line.empty();
    if (++total > kMaxScriptBytes) ScriptError(number, "the script is longer than 16 MiB");
    if (c == '\n') return true;
    // The CR of a CR LF line end does not count towards the line.
    const bool lineEnd = c == '\r' && Traits::eq_int_type(in.sgetc(), '\n');
    if (line.size() >= kMaxLineBytes && !(lineEnd && line.size() == kMaxLineBytes))
      ScriptError(number, "the line is longer than 64 KiB");
    line.push_back(Traits::to_char_type(c));
  }
}

int RunScript(const std::string& scriptName) {
  std::ostream& out = std::cout;
  std::unique_ptr<std::ifstream> file;
  std::istream* in = &std::cin;
  if (scriptName != "-") {
    file = std::make_unique<std::ifstream>(scriptName);
    if (!*file) {
      std::cerr << "Start_Config: cannot read the script " << scriptName << "\n";
      return kExitOther;
    }
    in = file.get();
  }

  auto form = std::make_unique<frm_Start_Config_Exe>();
  Queues queues;
  InstallScriptedDialogs(*form, queues, out);
  // Claimed before the script is read, which may take as long as its writer.
  if (!ClaimInstallation()) platform::EndProcess(RefuseSecondStart());

  std::vector<Action> actions;
  std::string line, error;
  size_t total = 0;
  for (int number = 1; ReadScriptLine(*in->rdbuf(), line, total, number); ++number) {
    std::optional<Action> action = ParseAction(line, number, error);
    if (!action || !CheckAction(*form, *action, error)) ScriptError(number, error);
    if (!action->verb.empty()) actions.push_back(*action);
  }

  platform::SetProcessEndNote(
      [&out](int status) { out << "process ended with status " << status << "\n"; });

  try {
    // Answers given before the first action on the window are for the boxes of
    // the start-up.
    size_t next = 0;
    for (; next < actions.size(); ++next) {
      const Action& a = actions[next];
      if (a.verb != "answer" && a.verb != "file") break;
      ApplyAction(*form, a, queues, out, error);
    }
    form->Form_Load();
    out << "window shown caption=" << Quoted(form->window.Caption()) << "\n";
    out.flush();
    // The writes of each handler are synced once, when it returns (those of the
    // start-up as soon as the window shows).
    platform::SyncWrittenFiles();
    for (; next < actions.size(); ++next) {
      const Action& a = actions[next];
      out << "> " << a.source << "\n";
      const bool applied = ApplyAction(*form, a, queues, out, error);
      platform::SyncWrittenFiles();
      if (!applied) {
        out << "script stopped with the window open\n";
        form->LeaveWithoutOK();
        ScriptError(a.line, error);
      }
    }
  } catch (const platform::EndRequest& request) {
    out << "end requested by signal " << request.signal << " with the window open\n";
    form->LeaveWithoutOK();
    platform::EndProcess(kExitSignalBase + request.signal);
  }
  out << "script ended with the window open\n";
  form->LeaveWithoutOK();
  platform::EndProcess(kExitWindowOpen);
}

// A script when one is given; otherwise the desktop window where there is a
// display, else the terminal window; KORVEX_FRONTEND=window|terminal forces one.
int RunChosenFrontEnd() {
  const char* script = std::getenv("KORVEX_SCRIPT");
  if (script != nullptr && *script != '\0') return RunScript(script);
  const char* forced = std::getenv("KORVEX_FRONTEND");
  const std::string chosen = forced != nullptr ? forced : "";
  if (chosen == "terminal") return tui::RunTerminal();
  if (chosen == "window") {
    const std::string problem = win::DisplayProblem();
    if (!problem.empty()) {
      std::cerr << "Start_Config: KORVEX_FRONTEND=window, but " << problem
                << ", so the window cannot be shown\n";
      return kExitOther;
    }
    return win::RunWindow();
  }
  if (!chosen.empty()) {
    std::cerr << "Start_Config: KORVEX_FRONTEND must be window or terminal, not \""
              << EscapeControls(chosen) << "\"\n";
    return kExitOther;
  }
  return win::DisplayProblem().empty() ? win::RunWindow() : tui::RunTerminal();
}

}  // namespace

int Run() {
  // Set up before anything is read: a signal must never end the step without
  // its cancel mark.
  platform::InstallEndRequestHandlers();
  // A transcript reader that went away must not end the step half-way.
  signal(SIGPIPE, SIG_IGN);
  const int status = RunChosenFrontEnd();
  platform::SyncWrittenFiles();
  return status;
}

}  // namespace app
