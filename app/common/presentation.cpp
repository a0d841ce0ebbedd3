#include "app/common/presentation.h"

#include <algorithm>
#include <cctype>

#include "base/text.h"
#include "form/program_ini_keys.h"
#include "runtime/ini_access.h"

namespace app {
namespace {

uint32_t Rgb(int r, int g, int b) {
  return (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) |
         static_cast<uint32_t>(b);
}

// Whether `next` stands after `label` in reading order: on a later line (its
// middle below the label), or on the label's line and to its right.
bool StandsAfter(const ui::Rect& label, const ui::Rect& next) {
  const int middle = next.top + next.height / 2;
  if (middle >= label.top + label.height) return true;
  return middle >= label.top && next.left >= label.left + label.width;
}

}  // namespace

ShownCaption CaptionShown(const std::string& caption) {
  ShownCaption shown;
  int at = 0;  // characters in text so far
  for (size_t i = 0; i < caption.size(); ++i) {
    const unsigned char byte = static_cast<unsigned char>(caption[i]);
    if (caption[i] == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        shown.text += '&';
        ++i;
        ++at;
      } else if (i + 1 < caption.size() && shown.keyAt < 0) {
        shown.keyAt = at;
        const std::u32string next = platform::DecodeUtf8(caption.substr(i + 1, 4));
        if (!next.empty()) shown.key = platform::UpperCase(platform::EncodeUtf8(next[0]));
      }
      continue;
    }
    shown.text += caption[i];
    if ((byte & 0xC0) != 0x80) ++at;  // continuation bytes belong to the character before
  }
  return shown;
}

ui::Rect ClientPosition(const ui::Control& c) {
  ui::Rect r = c.Position();
  for (const ui::Control* up = c.Container(); up != nullptr; up = up->Container()) {
    r.left += up->Position().left;
    r.top += up->Position().top;
  }
  return r;
}

AccessTarget AccessKeyTarget(const ui::Window& window, const std::string& typed) {
  const std::string letter = platform::UpperCase(typed);
  if (letter.empty()) return {};
  for (const auto& owned : window.Controls()) {
    ui::Control& c = *owned;
    const ui::Kind kind = c.kind();
    if (kind != ui::Kind::Label && kind != ui::Kind::Frame && kind != ui::Kind::CommandButton &&
        kind != ui::Kind::CheckBox)
      continue;
    if (!c.Shown() || CaptionShown(c.Caption()).key != letter) continue;
    if (kind == ui::Kind::CommandButton || kind == ui::Kind::CheckBox) {
      if (!c.Usable()) continue;
      return {&c, true, true};
    }
    const ui::Rect from = ClientPosition(c);
    for (ui::Control* next : TabOrder(window)) {
      if (!next->Usable()) continue;
      bool after = false;
      if (kind == ui::Kind::Frame) {
        for (const ui::Control* up = next->Container(); up != nullptr; up = up->Container())
          after = after || up == &c;
      } else if (next->Container() == c.Container()) {
        after = StandsAfter(from, ClientPosition(*next));
      }
      if (after) return {next, false, true};
    }
    return {nullptr, false, true};
  }
  return {};
}

ui::Control* NextInTabOrder(const ui::Window& window, const ui::Control* from, int direction,
                            const std::function<void(const ui::Control&)>& passed) {
  const std::vector<ui::Control*> all = TabOrder(window);
  const int n = static_cast<int>(all.size());
  const auto at = std::find(all.begin(), all.end(), from);
  int i = at == all.end() ? (direction > 0 ? -1 : n) : static_cast<int>(at - all.begin());
  for (int step = 0; step < n; ++step) {
    i = (i + direction + n) % n;
    if (all[i]->Usable()) return all[i];
    if (passed) passed(*all[i]);
  }
  return nullptr;
}

std::vector<std::string> ListEntries(const ui::Control& c) {
  if (c.kind() == ui::Kind::DriveListBox) return c.DriveList();
  std::vector<std::string> entries;
  for (int i = 0; i < c.ListCount(); ++i) entries.push_back(c.List(i));
  return entries;
}

int SelectedEntry(const ui::Control& c) {
  if (c.kind() != ui::Kind::DriveListBox) return c.ListIndex();
  const std::vector<std::string> drives = c.DriveList();
  for (int i = 0; i < static_cast<int>(drives.size()); ++i)
    if (drives[i] == c.Drive()) return i;
  return -1;
}

std::vector<FolderEntry> FolderEntries(const ui::Control& folderList) {
  std::vector<FolderEntry> entries;
  const std::string path = folderList.Path();
  if (path.size() < 2 || path[1] != ':') return entries;
  std::string drive = path.substr(0, 2);
  FolderEntry root{std::string(1, static_cast<char>(std::tolower(path[0]))) + ":\\", drive + "\\",
                   0, true};
  entries.push_back(root);
  std::string sofar = drive;
  size_t at = 2;
  while (at < path.size()) {
    while (at < path.size() && path[at] == '\\') ++at;
    const size_t end = path.find('\\', at);
    const std::string part = path.substr(at, end == std::string::npos ? end : end - at);
    if (!part.empty()) {
      sofar += "\\" + part;
      entries.push_back({part, sofar, static_cast<int>(entries.size()), true});
    }
    if (end == std::string::npos) break;
    at = end;
  }
  const int depth = static_cast<int>(entries.size());
  for (const std::string& name : folderList.SubFolders())
    entries.push_back({name, sofar + "\\" + name, depth, false});
  return entries;
}

int CurrentFolderEntry(const std::vector<FolderEntry>& entries) {
  int current = 0;
  for (int i = 0; i < static_cast<int>(entries.size()); ++i)
    if (entries[i].open) current = i;
  return current;
}

int MoveInList(ListMove move, int from, int count, int page) {
  int to = from;
  switch (move) {
    case ListMove::Up:
      to = from - 1;
      break;
    case ListMove::Down:
      to = from + 1;
      break;
    case ListMove::PageUp:
      to = from - page;
      break;
    case ListMove::PageDown:
      to = from + page;
      break;
    case ListMove::Home:
      to = 0;
      break;
    case ListMove::End:
      to = count - 1;
      break;
    case ListMove::None:
      break;
  }
  return count <= 0 ? -1 : std::clamp(to, 0, count - 1);
}

uint32_t SystemColour(ui::Colour c) {
  switch (c) {
    case ui::kButtonFace:
      return Rgb(192, 192, 192);
    case ui::kButtonText:
    case ui::kWindowText:
      return Rgb(0, 0, 0);
    case ui::kWindowBackground:
      return Rgb(255, 255, 255);
    default:
      if ((c & 0x80000000u) != 0) return Rgb(192, 192, 192);
      return Rgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                 static_cast<int>((c >> 16) & 0xFF));
  }
}

CopyState ConnectedCopy(const frm_Start_Config_Exe& form) {
  // The form keeps no "accepted" flag: the copy's list is filled by every
  // connected copy, and a refused one leaves the cancel mark.
  if (form.ListSAR->ListCount() == 0) return CopyState::None;
  if (rt::LoadIniString(keys::kCommon, keys::kConfigExeCancel, form.ConfigurationIniPath) !=
      "False")
    return CopyState::Refused;
  return form.CommandOK->Enabled() ? CopyState::Accepted : CopyState::WithoutProject;
}

std::string WhyIgnored(const frm_Start_Config_Exe& form, const ui::Control& c) {
  // Each reason fits a line of 80 columns.
  if (&c == form.CommandOK && c.Shown() && !c.Enabled()) {
    switch (ConnectedCopy(form)) {
      case CopyState::None:
        return "OK waits for a Save & Restore copy: open one in \"" +
               CaptionShown(form.LabelSAR1->Caption()).text + "\"";
      case CopyState::Refused:
        return "OK waits for a copy of the same machines; this one's differ";
      default:
        return std::string("OK waits for a copy with its own ") +
               (form.VisuVersion >= kVisuVWStudio ? "Korvex.vws" : "Korvex.mdb") +
               "; this one has none";
    }
  }
  return "ignored: " + c.DisplayName() + (c.Shown() ? " is disabled" : " is hidden");
}

std::string CopyNote(const frm_Start_Config_Exe& form) {
  switch (ConnectedCopy(form)) {
    case CopyState::None:
      return "";
    case CopyState::Accepted:
      return "Save & Restore copy taken over: OK is enabled (Tab reaches it)";
    case CopyState::Refused:
      return "Copy refused; " + WhyIgnored(form, *form.CommandOK);
    case CopyState::WithoutProject:
      break;
  }
  return "Copy taken over; " + WhyIgnored(form, *form.CommandOK);
}

std::string ShownReason(const frm_Start_Config_Exe& form, const ui::Control* c,
                        const Outcome& outcome) {
  if (outcome.kind != Outcome::Kind::Ignored) return outcome.reason;
  return c != nullptr ? WhyIgnored(form, *c) : "ignored: " + outcome.reason;
}

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

}  // namespace app
