// Message boxes: one interface for every front end. The step asks; the front end
// that is installed shows the box and returns the answer (modal).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

enum class Buttons { OK, YesNo };
enum class Icon { None, Stop, Information };
enum class Answer { OK, Yes, No };

struct MessageBox {
  std::string text;  // line breaks as the step builds them (LF CR)
  std::string title;
  Buttons buttons = Buttons::OK;
  Icon icon = Icon::None;
  int defaultButton = 0;  // 0: first button, 1: second button
};

Answer DefaultAnswer(const MessageBox& box);
std::string ToString(Answer a);
std::string ToString(Buttons b);
std::string ToString(Icon i);
// The lines of a box's text: LF CR breaks a line, as do CR LF, LF and CR alone.
std::vector<std::string> BoxLines(const std::string& text);
// The text with LF and CR made visible as "<LF>" and "<CR>", for transcripts.
std::string VisibleLineBreaks(const std::string& text);

using MessageBoxHandler = std::function<Answer(const MessageBox&)>;

// Installs the front end's box (returns the one installed before). Without one,
// every box takes its default button.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Shows a box through the installed front end and waits for the answer.
Answer ShowMessageBox(const MessageBox& box);

}  // namespace platform
