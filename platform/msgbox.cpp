#include "platform/msgbox.h"

#include <string>

namespace platform {
namespace {

MessageBoxHandler& Handler() {
  static MessageBoxHandler handler;
  return handler;
}

}  // namespace

Answer DefaultAnswer(const MessageBox& box) {
  if (box.buttons == Buttons::OK) return Answer::OK;
  return box.defaultButton == 1 ? Answer::No : Answer::Yes;
}

std::string ToString(Answer a) {
  switch (a) {
    case Answer::OK:
      return "OK";
    case Answer::Yes:
      return "Yes";
    case Answer::No:
      return "No";
  }
  return "?";
}

std::string ToString(Buttons b) {
  return b == Buttons::OK ? "OK" : "Yes/No";
}

std::string ToString(Icon i) {
  switch (i) {
    case Icon::None:
      return "none";
    case Icon::Stop:
      return "stop";
    case Icon::Information:
      return "information";
  }
  return "?";
}

std::vector<std::string> BoxLines(const std::string& text) {
  std::vector<std::string> lines{""};
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n' || c == '\r') {
      const char other = c == '\n' ? '\r' : '\n';
      if (i + 1 < text.size() && text[i + 1] == other) ++i;
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  return lines;
}

std::string VisibleLineBreaks(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += "<LF>";
    else if (c == '\r')
      out += "<CR>";
    else
      out += c;
  }
  return out;
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
  MessageBoxHandler old = std::move(Handler());
  Handler() = std::move(handler);
  return old;
}

Answer ShowMessageBox(const MessageBox& box) {
  if (!Handler()) return DefaultAnswer(box);
  return Handler()(box);
}

}  // namespace platform
