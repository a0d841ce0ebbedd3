#include "app/common/actions.h"

#include <ostream>
#include <sstream>

#include "base/failure.h"
#include "base/text.h"
#include "platform/process.h"

namespace app {
namespace {

// "TextPath(1)" -> name TextPath, index 1; "CommandOK" -> index -1.
bool SplitName(const std::string& written, std::string& name, int& index) {
  const size_t open = written.find('(');
  if (open == std::string::npos) {
    name = written;
    index = -1;
    return !name.empty();
  }
  if (written.back() != ')' || open == 0) return false;
  const std::string digits = written.substr(open + 1, written.size() - open - 2);
  if (digits.empty() || digits.size() > 3 ||
      digits.find_first_not_of("0123456789") != std::string::npos)
    return false;
  name = written.substr(0, open);
  index = std::stoi(digits);
  return true;
}

ui::Control* Resolve(const frm_Start_Config_Exe& form, const std::string& written) {
  std::string name;
  int index = -1;
  if (!SplitName(written, name, index)) return nullptr;
  return form.window.Find(name, index);
}

std::string Flag(bool b) {
  return b ? "1" : "0";
}

// Reads a property the control may lack; "" for those it does not have.
template <class Get>
std::optional<std::string> Try(Get get) {
  try {
    return get();
  } catch (const platform::Failure&) {
    return std::nullopt;
  }
}

}  // namespace

std::string Quoted(const std::string& text) {
  return "\"" + platform::VisibleLineBreaks(text) + "\"";
}

const char* VerbWord(Verb verb) {
  switch (verb) {
    case Verb::None:
      return "";
    case Verb::Click:
      return "click";
    case Verb::Select:
      return "select";
    case Verb::Text:
      return "text";
    case Verb::Type:
      return "type";
    case Verb::Caret:
      return "caret";
    case Verb::Focus:
      return "focus";
    case Verb::Leave:
      return "leave";
    case Verb::Drive:
      return "drive";
    case Verb::Dir:
      return "dir";
    case Verb::Answer:
      return "answer";
    case Verb::File:
      return "file";
    case Verb::Close:
      return "close";
    case Verb::Dump:
      return "dump";
  }
  return "";
}

std::optional<Action> ParseAction(const std::string& raw, int number, std::string& error) {
  Action a;
  a.line = number;
  std::string line = raw;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  a.source = line;
  const size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos || line[start] == '#') return a;
  line = line.substr(start);
  const size_t verbEnd = line.find(' ');
  const std::string word = line.substr(0, verbEnd);
  std::string rest = verbEnd == std::string::npos ? "" : line.substr(verbEnd + 1);
  for (int v = static_cast<int>(Verb::Click); v <= static_cast<int>(Verb::Dump); ++v)
    if (word == VerbWord(static_cast<Verb>(v))) a.verb = static_cast<Verb>(v);

  auto takeControl = [&] {
    const size_t end = rest.find(' ');
    a.control = rest.substr(0, end);
    a.argument = end == std::string::npos ? "" : rest.substr(end + 1);
    return !a.control.empty();
  };
  switch (a.verb) {
    case Verb::Click:
    case Verb::Focus:
    case Verb::Leave:
      if (!takeControl() || !a.argument.empty()) {
        error = word + " needs exactly one control";
        return std::nullopt;
      }
      break;
    case Verb::Select:
    case Verb::Text:
    case Verb::Type:
      if (!takeControl()) {
        error = word + " needs a control";
        return std::nullopt;
      }
      if (a.verb == Verb::Select && a.argument.empty()) {
        error = "select needs the text of a list entry";
        return std::nullopt;
      }
      break;
    case Verb::Caret: {
      if (!takeControl()) {
        error = "caret needs a control";
        return std::nullopt;
      }
      std::istringstream in(a.argument);
      long s = -1, n = 0;
      std::string extra;
      if (!(in >> s) || s < 0 || (!(in >> n) && !in.eof()) || n < 0 || (in >> extra)) {
        error = "caret needs a start and optionally a length (whole numbers from 0)";
        return std::nullopt;
      }
      break;
    }
    case Verb::Drive:
    case Verb::Dir:
    case Verb::File:
      a.argument = rest;
      if (a.argument.empty()) {
        error = word + " needs an argument";
        return std::nullopt;
      }
      break;
    case Verb::Answer:
      a.argument = rest;
      if (rest != "Yes" && rest != "No" && rest != "OK") {
        error = "answer must be Yes, No or OK";
        return std::nullopt;
      }
      break;
    case Verb::Close:
    case Verb::Dump:
      if (!rest.empty()) {
        error = word + " takes no argument";
        return std::nullopt;
      }
      break;
    case Verb::None:
      error = "unknown action \"" + word + "\"";
      return std::nullopt;
  }
  return a;
}

bool CheckAction(const frm_Start_Config_Exe& form, const Action& a, std::string& error) {
  if (a.control.empty()) return true;
  const ui::Control* c = Resolve(form, a.control);
  if (c == nullptr) {
    error = "the window has no control " + a.control;
    return false;
  }
  const ui::Kind k = c->kind();
  const bool edits = a.verb == Verb::Text || a.verb == Verb::Type || a.verb == Verb::Caret;
  if (edits && k != ui::Kind::TextBox) {
    error = std::string(VerbWord(a.verb)) + " needs a text box";
    return false;
  }
  if (a.verb == Verb::Select && k != ui::Kind::ComboBox && k != ui::Kind::ListBox) {
    error = "select needs a list";
    return false;
  }
  if ((a.verb == Verb::Focus || a.verb == Verb::Leave) && !ui::TakesFocus(c->kind())) {
    error = a.control + " cannot take the focus";
    return false;
  }
  return true;
}

Outcome ApplyUserAction(frm_Start_Config_Exe& form, Verb verb, const ui::Control* control,
                        const std::string& argument) {
  Action a;
  a.verb = verb;
  a.control =
      control != nullptr && verb != Verb::Drive && verb != Verb::Dir ? control->DisplayName() : "";
  a.argument = argument;
  a.source = VerbWord(verb) + (a.control.empty() ? "" : " " + a.control) +
             (argument.empty() ? "" : " " + argument);
  Queues unused;
  std::ostringstream out;
  return ApplyAction(form, a, unused, out);
}

namespace {

// Carries out an action on a usable control.
Outcome ApplyToControl(frm_Start_Config_Exe& form, ui::Control* c, const Action& a) {
  switch (a.verb) {
    case Verb::Focus:
      form.window.MoveFocus(c);
      break;
    case Verb::Leave:
      if (form.window.Focused() == c) form.window.MoveFocus(nullptr);
      break;
    case Verb::Click:
      if (ui::TakesFocus(c->kind())) form.window.MoveFocus(c);
      if (c->kind() == ui::Kind::CheckBox) {
        c->SetValue(c->Value() == 0 ? 1 : 0);
      } else {
        if (c->kind() == ui::Kind::ListBox && c->on.mouseDown) c->on.mouseDown();
        if (c->on.click) c->on.click();
      }
      break;
    case Verb::Select: {
      int found = -1;
      for (int i = 0; i < c->ListCount() && found < 0; ++i)
        if (c->List(i) == a.argument) found = i;
      if (found < 0)
        return {Outcome::Kind::Failed, c->DisplayName() + " has no entry \"" + a.argument + "\""};
      form.window.MoveFocus(c);
      if (c->kind() == ui::Kind::ListBox && c->on.mouseDown) c->on.mouseDown();
      if (c->ListIndex() == found) {
        if (c->on.click) c->on.click();  // picking the selected entry again still clicks
      } else {
        c->SetListIndex(found);
      }
      break;
    }
    case Verb::Text:
      form.window.MoveFocus(c);
      c->SetText(a.argument);
      break;
    case Verb::Type: {
      form.window.MoveFocus(c);
      const std::string old = c->Text();
      const int start = c->SelStart();
      const int length = c->SelLength();
      const std::string before = platform::LeftChars(old, static_cast<size_t>(start));
      const std::string after = platform::MidChars(old, static_cast<size_t>(start + length));
      c->EditText(before + a.argument + after,
                  start + static_cast<int>(platform::CharCount(a.argument)));
      break;
    }
    case Verb::Caret: {
      std::istringstream in(a.argument);
      int s = 0, n = 0;
      in >> s >> n;
      form.window.MoveFocus(c);
      c->SetSelStart(s);
      c->SetSelLength(n);
      break;
    }
    case Verb::Drive:
      form.window.MoveFocus(c);
      c->SetDrive(a.argument);
      break;
    case Verb::Dir:
      form.window.MoveFocus(c);
      c->SetPath(a.argument);
      break;
    default:
      return {Outcome::Kind::Failed, std::string(VerbWord(a.verb)) + " names no control"};
  }
  return {};
}

}  // namespace

Outcome ApplyAction(frm_Start_Config_Exe& form, const Action& a, Queues& queues,
                    std::ostream& out) {
  switch (a.verb) {
    case Verb::None:
      return {};
    case Verb::Answer: {
      const platform::Answer answer = a.argument == "Yes"  ? platform::Answer::Yes
                                      : a.argument == "No" ? platform::Answer::No
                                                           : platform::Answer::OK;
      queues.answers.emplace_back(answer, a.line);
      return {};
    }
    case Verb::File:
      if (a.argument == "cancel")
        queues.files.emplace_back(std::nullopt, a.line);
      else
        queues.files.emplace_back(a.argument, a.line);
      return {};
    case Verb::Dump:
      Dump(form, out);
      return {};
    case Verb::Close: {
      bool cancel = false;
      form.Form_QueryUnload(cancel, 0);
      if (!cancel) {
        out << "window closed\n";
        platform::EndProcess(kExitCancelled);
      }
      return {};
    }
    default:
      break;
  }

  ui::Control* c = a.verb == Verb::Drive ? form.DriveSAR
                   : a.verb == Verb::Dir ? form.DirSAR
                                         : Resolve(form, a.control);
  if (c == nullptr) return {Outcome::Kind::Failed, "the window has no control " + a.control};
  if (!c->Usable())
    return {Outcome::Kind::Ignored,
            c->DisplayName() + (c->Shown() ? " is disabled" : " is hidden")};
  try {
    return ApplyToControl(form, c, a);
  } catch (const platform::Failure& f) {
    return {Outcome::Kind::Failed, std::string(VerbWord(a.verb)) + " failed: " + f.description +
                                       " (" + std::to_string(f.number) + ")"};
  }
}

void Dump(const frm_Start_Config_Exe& form, std::ostream& out) {
  out << "window " << form.window.Name() << " caption=" << Quoted(form.window.Caption()) << "\n";
  for (const auto& owned : form.window.Controls()) {
    const ui::Control& c = *owned;
    out << "  " << c.DisplayName() << " " << c.TypeName();
    if (c.kind() == ui::Kind::CommonDialog) {
      out << " filename=" << Quoted(c.FileName()) << " initdir=" << Quoted(c.InitDir()) << "\n";
      continue;
    }
    out << " visible=" << Flag(c.Visible()) << " shown=" << Flag(c.Shown())
        << " enabled=" << Flag(c.Enabled());
    if (auto caption = Try([&] { return c.Caption(); })) out << " caption=" << Quoted(*caption);
    if (c.kind() == ui::Kind::TextBox) out << " text=" << Quoted(c.Text());
    if (c.kind() == ui::Kind::ComboBox || c.kind() == ui::Kind::ListBox) {
      out << " list=[";
      for (int i = 0; i < c.ListCount(); ++i) {
        if (i > 0) out << "|";
        out << (i == c.ListIndex() ? "*" : "") << c.List(i);
      }
      out << "]";
    }
    if (c.kind() == ui::Kind::CheckBox) out << " value=" << c.Value();
    if (c.kind() == ui::Kind::DriveListBox) out << " drive=" << Quoted(c.Drive());
    if (c.kind() == ui::Kind::DirListBox) out << " path=" << Quoted(c.Path());
    if (c.kind() == ui::Kind::Image || c.kind() == ui::Kind::CommandButton) {
      if (!c.GetPicture().Empty()) out << " picture=" << Quoted(c.GetPicture().source);
    }
    if (auto tip = Try([&] { return c.ToolTipText(); }); tip && !tip->empty())
      out << " tooltip=" << Quoted(*tip);
    if (c.kind() == ui::Kind::CommandButton && c.BackColor() != ui::kLightGrey)
      out << " backcolor=" << ui::ColourName(c.BackColor());
    if (c.kind() == ui::Kind::Label && c.ForeColor() != ui::kButtonText)
      out << " forecolor=" << ui::ColourName(c.ForeColor());
    out << "\n";
  }
}

}  // namespace app
