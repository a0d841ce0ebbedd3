#include "app/front_end.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <vector>

#include "app/actions.h"
#include "app/tui.h"
#include "platform/process.h"

namespace app {
namespace {

constexpr int kExitScriptEnded = 3;
constexpr int kExitOther = 1;

[[noreturn]] void ScriptError(int line, const std::string& text) {
  std::cerr << "Start_Config: script line " << line << ": " << text << "\n";
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
  std::vector<Action> actions;
  std::string line, error;
  for (int number = 1; std::getline(*in, line); ++number) {
    std::optional<Action> action = ParseAction(line, number, error);
    if (!action || !CheckAction(*form, *action, error)) ScriptError(number, error);
    if (!action->verb.empty()) actions.push_back(*action);
  }

  Queues queues;
  InstallScriptedDialogs(*form, queues, out);
  platform::SetProcessEndNote(
      [&out](int status) { out << "process ended with status " << status << "\n"; });

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
  for (; next < actions.size(); ++next) {
    const Action& a = actions[next];
    out << "> " << a.source << "\n";
    if (!ApplyAction(*form, a, queues, out, error)) ScriptError(a.line, error);
  }
  out << "script ended with the window open\n";
  platform::SetProcessEndNote(nullptr);
  platform::EndProcess(kExitScriptEnded);
}

}  // namespace

int Run() {
  const char* script = std::getenv("KORVEX_SCRIPT");
  if (script != nullptr && *script != '\0') return RunScript(script);
  return tui::RunTerminal();
}

}  // namespace app
