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
