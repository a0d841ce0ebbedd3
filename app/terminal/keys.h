// The keys and clicks the window acts on, and how the keys curses decodes
// from terminfo become them.
#pragma once

#include <string>
#include <vector>

#include "app/common/presentation.h"

namespace tui {

enum class KeyCode {
  None,  // a sequence the front end does not use
  Char,  // text holds the character (UTF-8); ctrl / alt may be set
  Enter,
  Tab,
  BackTab,
  Backspace,
  Delete,
  Insert,
  Escape,
  Up,
  Down,
  Left,
  Right,
  Home,
  End,
  PageUp,
  PageDown,
  F1,
  F2,
  F3,
  F4,
  F5,
  F6,
  F7,
  F8,
  F9,
  F10,
  F11,
  F12,
  Mouse,
};

struct Key {
  KeyCode code = KeyCode::None;
  std::string text;  // Char: the character
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
  // Mouse: 0-based cell, button (0 left, 1 middle, 2 right, 64/65 wheel up/down)
  // and whether it was pressed or released.
  int x = 0;
  int y = 0;
  int button = 0;
  bool press = true;

  bool IsChar(char c) const { return code == KeyCode::Char && text.size() == 1 && text[0] == c; }
  bool IsCtrl(char letter) const { return IsChar(letter) && ctrl; }
};

// The keys that move through a list: arrows up and down, page up and down,
// Home and End.
app::ListMove ListMoveOf(const Key& key);
bool IsListMove(const Key& key);
// Where such a key leads from entry `from` among `count`, a page being `page`
// entries; kept inside the list.
int MoveInList(const Key& key, int from, int count, int page);

// What curses reports for a key: a function key (KEY_UP, KEY_F(52), one of
// terminfo's extended keys) or a character, with alt set where an Esc came
// just before it. Extended keys (kUP3, kpZRO, ...) are numbered by curses
// when the terminal is set up; `extended` maps their numbers onto keys.
struct ExtendedKey {
  int code;
  Key key;
};
Key KeyFromCurses(bool function, int code, bool alt, const std::vector<ExtendedKey>& extended = {});

}  // namespace tui
