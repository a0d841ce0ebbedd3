// Fuzzes the action language of the scripted front end: the input is a script,
// each line is parsed and checked against the window as the front end does
// before it runs anything. A line is either refused with a reason or gives an
// action whose parts fit its verb. Actions on the database path boxes (which
// have no handlers beyond help) and the queue and dump actions are applied too,
// so that typing and caret moves see arbitrary text.
#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "app/common/actions.h"
#include "base/failure.h"
#include "base/text.h"
#include "form/start_config_form.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using fuzz::Check;

bool OneOf(const std::string& verb, std::initializer_list<std::string_view> verbs) {
  for (std::string_view v : verbs)
    if (verb == v) return true;
  return false;
}

void CheckParsed(const app::Action& action, const std::string& raw, int number) {
  const app::Action& a = action;
  const std::string verb = app::VerbWord(action.verb);
  std::string line = raw;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  Check(a.line == number, "the action keeps its line number");
  Check(a.source == line, "the action keeps its line as written");
  const size_t start = line.find_first_not_of(" \t");
  if (action.verb == app::Verb::None) {
    Check(start == std::string::npos || line[start] == '#', "only blanks and comments are empty");
    Check(a.control.empty() && a.argument.empty(), "an empty action has no parts");
    return;
  }
  Check(start != std::string::npos && line.compare(start, verb.size(), verb) == 0,
        "the verb is the line's first word");
  const std::string rest =
      line.size() > start + verb.size() ? line.substr(start + verb.size() + 1) : "";
  if (OneOf(verb, {"click", "focus", "leave", "select", "text", "type", "caret"})) {
    Check(!a.control.empty() && a.control.find(' ') == std::string::npos, "a control is one word");
    Check(rest.compare(0, a.control.size(), a.control) == 0, "the control follows the verb");
    if (OneOf(verb, {"click", "focus", "leave"}))
      Check(a.argument.empty(), "these verbs take no argument");
    if (verb == "select") Check(!a.argument.empty(), "select names an entry");
  } else if (OneOf(verb, {"drive", "dir", "file", "answer"})) {
    Check(a.control.empty() && !a.argument.empty() && a.argument == rest,
          "the argument is the rest of the line");
    if (verb == "answer")
      Check(OneOf(a.argument, {"Yes", "No", "OK"}), "an answer is Yes, No or OK");
  } else {
    Check(OneOf(verb, {"close", "dump"}), "no unknown verb is taken");
    Check(a.control.empty() && a.argument.empty(), "close and dump take nothing");
  }
}

ui::Control* PathBox(const frm_Start_Config_Exe& form, const std::string& written) {
  for (ui::Control* c : form.TextPath)
    if (c->DisplayName() == written) return c;
  return nullptr;
}

void CheckCaret(const ui::Control& c) {
  const int length = static_cast<int>(platform::CharCount(c.Text()));
  const int start = c.SelStart(), selected = c.SelLength();
  Check(start >= 0 && selected >= 0 && start + selected <= length,
        "the caret and the selection stay within the text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::ScratchDrive();
  static const std::unique_ptr<frm_Start_Config_Exe> form =
      std::make_unique<frm_Start_Config_Exe>();
  for (ui::Control* c : form->TextPath) {
    c->SetText("");
    CheckCaret(*c);
  }
  form->window.MoveFocus(nullptr);

  const std::string script(reinterpret_cast<const char*>(data), size);
  std::istringstream in(script);
  app::Queues queues;
  std::ostringstream out;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    std::string error;
    const std::optional<app::Action> action = app::ParseAction(line, number, error);
    if (!action) {
      Check(!error.empty(), "a refused line has a reason");
      continue;
    }
    CheckParsed(*action, line, number);
    app::Quoted(action->source);
    if (!app::CheckAction(*form, *action, error)) {
      Check(!error.empty(), "a refused action has a reason");
      Check(!action->control.empty(), "only actions on a control are refused");
      continue;
    }
    const bool queued = OneOf(app::VerbWord(action->verb), {"answer", "file", "dump"});
    ui::Control* box = PathBox(*form, action->control);
    if (!queued && box == nullptr) continue;
    if (action->verb == app::Verb::Select) continue;  // no list; the check refuses it anyway
    const size_t answers = queues.answers.size(), files = queues.files.size();
    const app::Outcome outcome = app::ApplyAction(*form, *action, queues, out);
    const bool applied = outcome.Applied();
    Check(applied || !outcome.reason.empty(), "an action not applied has a reason");
    if (action->verb == app::Verb::Answer)
      Check(queues.answers.size() == answers + 1, "answer queued");
    if (action->verb == app::Verb::File)
      Check(queues.files.size() == files + 1, "file answer queued");
    for (const ui::Control* c : form->TextPath) CheckCaret(*c);
    if (applied && action->verb == app::Verb::Text && box->Usable())
      Check(box->Text() == action->argument, "text sets the box's whole text");
  }
  return 0;
}
