#include "platform/msgbox.h"

#include <iostream>
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

Answer ConsoleMessageBox(const MessageBox& box) {
  std::ostream& out = std::cout;
  out << "\n+-- " << box.title << " (" << ToString(box.icon) << ") --\n";
  std::string line;
  for (char c : box.text) {
    if (c == '\n') {
      out << "| " << line << "\n";
      line.clear();
    } else if (c != '\r') {
      line += c;
    }
  }
  out << "| " << line << "\n";
  Answer def = DefaultAnswer(box);
  for (;;) {
    if (box.buttons == Buttons::OK)
      out << "+-- [OK] > " << std::flush;
    else
      out << "+-- " << (def == Answer::Yes ? "[Yes] / No" : "Yes / [No]") << " > " << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) {
      out << ToString(def) << "\n";
      return def;
    }
    if (box.buttons == Buttons::OK || answer.empty()) return def;
    char c = answer[0];
    if (c == 'y' || c == 'Y' || c == 'j' || c == 'J') return Answer::Yes;
    if (c == 'n' || c == 'N') return Answer::No;
  }
}

}  // namespace platform
