#include "app/terminal/keys.h"

#include <curses.h>

#include <utility>

#include "base/text.h"

namespace tui {
namespace {

Key Code(KeyCode code, bool shift = false, bool ctrl = false, bool alt = false) {
  Key k;
  k.code = code;
  k.shift = shift;
  k.ctrl = ctrl;
  k.alt = alt;
  return k;
}

Key Char(const std::string& text) {
  Key k = Code(KeyCode::Char);
  k.text = text;
  return k;
}

// The function keys curses names, and the keypad's keys as the digits and
// signs they carry (a keypad in application mode sends them so).
const std::pair<int, Key> kFunctionKeys[] = {
    {KEY_UP, Code(KeyCode::Up)},
    {KEY_DOWN, Code(KeyCode::Down)},
    {KEY_LEFT, Code(KeyCode::Left)},
    {KEY_RIGHT, Code(KeyCode::Right)},
    {KEY_HOME, Code(KeyCode::Home)},
    {KEY_END, Code(KeyCode::End)},
    {KEY_PPAGE, Code(KeyCode::PageUp)},
    {KEY_NPAGE, Code(KeyCode::PageDown)},
    {KEY_IC, Code(KeyCode::Insert)},
    {KEY_DC, Code(KeyCode::Delete)},
    {KEY_BACKSPACE, Code(KeyCode::Backspace)},
    {KEY_ENTER, Code(KeyCode::Enter)},
    {KEY_BTAB, Code(KeyCode::BackTab, true)},
    {KEY_SR, Code(KeyCode::Up, true)},
    {KEY_SF, Code(KeyCode::Down, true)},
    {KEY_SLEFT, Code(KeyCode::Left, true)},
    {KEY_SRIGHT, Code(KeyCode::Right, true)},
    {KEY_SHOME, Code(KeyCode::Home, true)},
    {KEY_SEND, Code(KeyCode::End, true)},
    {KEY_SPREVIOUS, Code(KeyCode::PageUp, true)},
    {KEY_SNEXT, Code(KeyCode::PageDown, true)},
    {KEY_SDC, Code(KeyCode::Delete, true)},
    {KEY_A1, Char("7")},
    {KEY_A3, Char("9")},
    {KEY_B2, Char("5")},
    {KEY_C1, Char("1")},
    {KEY_C3, Char("3")},
};

}  // namespace

Key KeyFromCurses(bool function, int code, bool alt, const std::vector<ExtendedKey>& extended) {
  Key key;
  if (!function) {
    if (code == '\r' || code == '\n') {
      key = Code(KeyCode::Enter);
    } else if (code == '\t') {
      key = Code(KeyCode::Tab);
    } else if (code == 0x7f || code == 0x08) {
      key = Code(KeyCode::Backspace);
    } else if (code == 0x1b) {
      key = Code(KeyCode::Escape);
    } else if (code >= 0x01 && code <= 0x1a) {
      key = Char(std::string(1, static_cast<char>('a' + code - 1)));
      key.ctrl = true;
    } else if (code >= 0x20 && code != 0x7f && (code < 0x80 || code >= 0xa0)) {
      key = Char(platform::EncodeUtf8(static_cast<char32_t>(code)));
    }
  } else if (code >= KEY_F(1) && code <= KEY_F(63)) {
    // Modified function keys as terminfo numbers them: twelve each with
    // Shift, Ctrl, Ctrl+Shift, Alt, Alt+Shift.
    const int n = code - KEY_F(1), group = n / 12;
    key = Code(static_cast<KeyCode>(static_cast<int>(KeyCode::F1) + n % 12));
    key.shift = group == 1 || group == 3 || group == 5;
    key.ctrl = group == 2 || group == 3;
    key.alt = group >= 4;
  } else {
    for (const auto& [curses, k] : kFunctionKeys)
      if (curses == code) key = k;
    for (const ExtendedKey& e : extended)
      if (e.code == code) key = e.key;
  }
  key.alt = key.alt || (alt && key.code != KeyCode::None);
  return key;
}

app::ListMove ListMoveOf(const Key& key) {
  switch (key.code) {
    case KeyCode::Up:
      return app::ListMove::Up;
    case KeyCode::Down:
      return app::ListMove::Down;
    case KeyCode::PageUp:
      return app::ListMove::PageUp;
    case KeyCode::PageDown:
      return app::ListMove::PageDown;
    case KeyCode::Home:
      return app::ListMove::Home;
    case KeyCode::End:
      return app::ListMove::End;
    default:
      return app::ListMove::None;
  }
}

bool IsListMove(const Key& key) {
  return ListMoveOf(key) != app::ListMove::None;
}

int MoveInList(const Key& key, int from, int count, int page) {
  return app::MoveInList(ListMoveOf(key), from, count, page);
}

}  // namespace tui
