#include "app/actions.h"

#include <ostream>
#include <sstream>

#include "platform/failure.h"
#include "platform/process.h"
#include "platform/text.h"

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
  a.verb = line.substr(0, verbEnd);
  std::string rest = verbEnd == std::string::npos ? "" : line.substr(verbEnd + 1);

  auto takeControl = [&] {
    const size_t end = rest.find(' ');
    a.control = rest.substr(0, end);
    a.argument = end == std::string::npos ? "" : rest.substr(end + 1);
    return !a.control.empty();
  };
  if (a.verb == "click" || a.verb == "focus" || a.verb == "leave") {
    if (!takeControl() || !a.argument.empty()) {
      error = a.verb + " needs exactly one control";
      return std::nullopt;
    }
  } else if (a.verb == "select" || a.verb == "text" || a.verb == "type") {
    if (!takeControl()) {
      error = a.verb + " needs a control";
      return std::nullopt;
    }
    if (a.verb == "select" && a.argument.empty()) {
      error = "select needs the text of a list entry";
      return std::nullopt;
    }
  } else if (a.verb == "caret") {
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
  } else if (a.verb == "drive" || a.verb == "dir" || a.verb == "file") {
    a.argument = rest;
    if (a.argument.empty()) {
      error = a.verb + " needs an argument";
      return std::nullopt;
    }
  } else if (a.verb == "answer") {
    a.argument = rest;
    if (rest != "Yes" && rest != "No" && rest != "OK") {
      error = "answer must be Yes, No or OK";
      return std::nullopt;
    }
  } else if (a.verb == "close" || a.verb == "dump") {
    if (!rest.empty()) {
      error = a.verb + " takes no argument";
      return std::nullopt;
    }
  } else {
    error = "unknown action \"" + a.verb + "\"";
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
  if ((a.verb == "text" || a.verb == "type" || a.verb == "caret") && k != ui::Kind::TextBox) {
    error = a.verb + " needs a text box";
    return false;
  }
  if (a.verb == "select" && k != ui::Kind::ComboBox && k != ui::Kind::ListBox) {
    error = "select needs a list";
    return false;
  }
  if ((a.verb == "focus" || a.verb == "leave") && !ui::TakesFocus(c->kind())) {
    error = a.control + " cannot take the focus";
    return false;
  }
  return true;
}

bool ApplyUserAction(frm_Start_Config_Exe& form, const std::string& verb,
                     const ui::Control* control, const std::string& argument, std::string& said,
                     std::string& error) {
  Action a;
  a.verb = verb;
  a.control = control != nullptr && verb != "drive" && verb != "dir" ? control->DisplayName() : "";
  a.argument = argument;
  a.source =
      verb + (a.control.empty() ? "" : " " + a.control) + (argument.empty() ? "" : " " + argument);
  Queues unused;
  std::ostringstream out;
  const bool applied = ApplyAction(form, a, unused, out, error);
  said = out.str();
  return applied;
}

bool ApplyAction(frm_Start_Config_Exe& form, const Action& a, Queues& queues, std::ostream& out,
                 std::string& error) {
  if (a.verb.empty()) return true;
  if (a.verb == "answer") {
    const platform::Answer answer = a.argument == "Yes"  ? platform::Answer::Yes
                                    : a.argument == "No" ? platform::Answer::No
                                                         : platform::Answer::OK;
    queues.answers.emplace_back(answer, a.line);
    return true;
  }
  if (a.verb == "file") {
    if (a.argument == "cancel")
      queues.files.emplace_back(std::nullopt, a.line);
    else
      queues.files.emplace_back(a.argument, a.line);
    return true;
  }
  if (a.verb == "dump") {
    Dump(form, out);
    return true;
  }
  if (a.verb == "close") {
    bool cancel = false;
    form.Form_QueryUnload(cancel, 0);
    if (!cancel) {
      out << "window closed\n";
      platform::EndProcess(kExitCancelled);
    }
    return true;
  }

  ui::Control* c = nullptr;
  if (a.verb == "drive")
    c = form.DriveSAR;
  else if (a.verb == "dir")
    c = form.DirSAR;
  else
    c = Resolve(form, a.control);
  if (c == nullptr) {
    error = "the window has no control " + a.control;
    return false;
  }
  if (!c->Usable()) {
    out << "ignored: " << c->DisplayName() << " is " << (c->Shown() ? "disabled" : "hidden")
        << "\n";
    return true;
  }
  try {
    if (a.verb == "focus") {
      form.window.MoveFocus(c);
    } else if (a.verb == "leave") {
      if (form.window.Focused() == c) form.window.MoveFocus(nullptr);
    } else if (a.verb == "click") {
      if (ui::TakesFocus(c->kind())) form.window.MoveFocus(c);
      if (c->kind() == ui::Kind::CheckBox) {
        c->SetValue(c->Value() == 0 ? 1 : 0);
      } else {
        if (c->kind() == ui::Kind::ListBox && c->on.mouseDown) c->on.mouseDown();
        if (c->on.click) c->on.click();
      }
    } else if (a.verb == "select") {
      int found = -1;
      for (int i = 0; i < c->ListCount() && found < 0; ++i)
        if (c->List(i) == a.argument) found = i;
      if (found < 0) {
        error = c->DisplayName() + " has no entry \"" + a.argument + "\"";
        return false;
      }
      form.window.MoveFocus(c);
      if (c->kind() == ui::Kind::ListBox && c->on.mouseDown) c->on.mouseDown();
      if (c->ListIndex() == found) {
        if (c->on.click) c->on.click();  // picking the selected entry again still clicks
      } else {
        c->SetListIndex(found);
      }
    } else if (a.verb == "text") {
      form.window.MoveFocus(c);
      c->SetText(a.argument);
    } else if (a.verb == "type") {
      form.window.MoveFocus(c);
      const std::string old = c->Text();
      const int start = c->SelStart();
      const int length = c->SelLength();
      const std::string before = platform::LeftChars(old, static_cast<size_t>(start));
      const std::string after = platform::MidChars(old, static_cast<size_t>(start + length));
      c->EditText(before + a.argument + after,
                  start + static_cast<int>(platform::CharCount(a.argument)));
    } else if (a.verb == "caret") {
      std::istringstream in(a.argument);
      int s = 0, n = 0;
      in >> s >> n;
      form.window.MoveFocus(c);
      c->SetSelStart(s);
      c->SetSelLength(n);
    } else if (a.verb == "drive") {
      form.window.MoveFocus(c);
      c->SetDrive(a.argument);
    } else if (a.verb == "dir") {
      form.window.MoveFocus(c);
      c->SetPath(a.argument);
    }
  } catch (const platform::Failure& f) {
    error = a.verb + " failed: " + f.description + " (" + std::to_string(f.number) + ")";
    return false;
  }
  return true;
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
