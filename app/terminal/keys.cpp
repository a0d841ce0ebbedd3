#include "app/terminal/keys.h"

#include <cstdlib>

#include "platform/text.h"

namespace tui {
namespace {

constexpr char kEsc = '\x1b';
constexpr size_t kLongestSequence = 64;  // anything longer is noise, not a key

// The parameters of a CSI sequence, "1;5" -> {1, 5}; a missing number is 0.
std::vector<int> Numbers(const std::string& params) {
  std::vector<int> out{0};
  for (char c : params) {
    if (c == ';') {
      out.push_back(0);
    } else if (c >= '0' && c <= '9') {
      if (out.back() < 100000) out.back() = out.back() * 10 + (c - '0');
    }
  }
  return out;
}

void ApplyModifiers(Key& key, int modifiers) {
  if (modifiers < 2) return;
  const int bits = modifiers - 1;
  key.shift = (bits & 1) != 0;
  key.alt = (bits & 2) != 0;
  key.ctrl = (bits & 4) != 0;
}

Key Code(KeyCode code) {
  Key k;
  k.code = code;
  return k;
}

KeyCode LetterKey(char final) {
  switch (final) {
    case 'A':
      return KeyCode::Up;
    case 'B':
      return KeyCode::Down;
    case 'C':
      return KeyCode::Right;
    case 'D':
      return KeyCode::Left;
    case 'H':
      return KeyCode::Home;
    case 'F':
      return KeyCode::End;
    case 'P':
      return KeyCode::F1;
    case 'Q':
      return KeyCode::F2;
    case 'R':
      return KeyCode::F3;
    case 'S':
      return KeyCode::F4;
    default:
      return KeyCode::None;
  }
}

KeyCode TildeKey(int n) {
  switch (n) {
    case 1:
    case 7:
      return KeyCode::Home;
    case 4:
    case 8:
      return KeyCode::End;
    case 2:
      return KeyCode::Insert;
    case 3:
      return KeyCode::Delete;
    case 5:
      return KeyCode::PageUp;
    case 6:
      return KeyCode::PageDown;
    case 11:
      return KeyCode::F1;
    case 12:
      return KeyCode::F2;
    case 13:
      return KeyCode::F3;
    case 14:
      return KeyCode::F4;
    case 15:
      return KeyCode::F5;
    case 17:
      return KeyCode::F6;
    case 18:
      return KeyCode::F7;
    case 19:
      return KeyCode::F8;
    case 20:
      return KeyCode::F9;
    case 21:
      return KeyCode::F10;
    case 23:
      return KeyCode::F11;
    case 24:
      return KeyCode::F12;
    default:
      return KeyCode::None;
  }
}

Key Mouse(int code, int x, int y, bool press) {
  Key k = Code(KeyCode::Mouse);
  k.button = code & ~(4 | 8 | 16 | 32);          // without modifier and motion bits
  if ((code & 32) != 0) k.code = KeyCode::None;  // motion reports are not used
  k.shift = (code & 4) != 0;
  k.alt = (code & 8) != 0;
  k.ctrl = (code & 16) != 0;
  k.x = x - 1;
  k.y = y - 1;
  k.press = press;
  return k;
}

Key CsiKey(const std::string& params, char final) {
  if (!params.empty() && params[0] == '<') {  // SGR mouse: <b;x;y M or m
    std::vector<int> n = Numbers(params.substr(1));
    if (n.size() != 3 || (final != 'M' && final != 'm')) return Code(KeyCode::None);
    return Mouse(n[0], n[1], n[2], final == 'M');
  }
  if (!params.empty() && (params[0] < '0' || params[0] > ';')) return Code(KeyCode::None);
  std::vector<int> n = Numbers(params);
  Key k;
  if (final == '~') {
    k.code = TildeKey(n[0]);
    if (n.size() > 1) ApplyModifiers(k, n[1]);
  } else if (final == 'Z') {
    k.code = KeyCode::BackTab;
    k.shift = true;
  } else {
    k.code = LetterKey(final);
    if (n.size() > 1) ApplyModifiers(k, n[1]);
  }
  return k;
}

// Length of a UTF-8 character from its first byte; 0 for a byte that cannot start one.
size_t Utf8Length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

enum class Step { Key, Skip, Wait };

// Decodes one plain (non-escape) key at the front; how many bytes it took.
Step PlainKey(const std::string& in, size_t at, bool complete, const Charset& charset, Key& key,
              size_t& used) {
  const unsigned char b = static_cast<unsigned char>(in[at]);
  used = 1;
  if (b == '\r' || b == '\n') {
    key = Code(KeyCode::Enter);
  } else if (b == '\t') {
    key = Code(KeyCode::Tab);
  } else if (b == 0x7f || b == 0x08) {
    key = Code(KeyCode::Backspace);
  } else if (b >= 0x01 && b <= 0x1a) {
    key = Code(KeyCode::Char);
    key.text = std::string(1, static_cast<char>('a' + b - 1));
    key.ctrl = true;
  } else if (b < 0x20) {
    return Step::Skip;
  } else if (b >= 0x80 && !charset.utf8) {
    const char32_t ch = charset.high[b - 0x80];
    if (ch == 0) return Step::Skip;
    key = Code(KeyCode::Char);
    key.text = platform::EncodeUtf8(ch);
  } else {
    const size_t length = Utf8Length(b);
    if (length == 0) return Step::Skip;
    if (at + length > in.size()) return complete ? Step::Skip : Step::Wait;
    for (size_t i = 1; i < length; ++i)
      if ((static_cast<unsigned char>(in[at + i]) & 0xC0) != 0x80) return Step::Skip;
    key = Code(KeyCode::Char);
    key.text = in.substr(at, length);
    used = length;
  }
  return Step::Key;
}

// Decodes one key starting with ESC.
Step EscapeKey(const std::string& in, bool complete, const Charset& charset, Key& key,
               size_t& used) {
  if (in.size() == 1) {
    if (!complete) return Step::Wait;
    key = Code(KeyCode::Escape);
    used = 1;
    return Step::Key;
  }
  const char second = in[1];
  if (second == '[') {
    if (in.size() >= 3 && in[2] == 'M') {  // three-byte mouse report
      if (in.size() < 6) return complete ? (used = in.size(), Step::Skip) : Step::Wait;
      const int code = static_cast<unsigned char>(in[3]) - 32;
      key = Mouse((code & 3) == 3 ? 0 : code, static_cast<unsigned char>(in[4]) - 32,
                  static_cast<unsigned char>(in[5]) - 32, (code & 3) != 3);
      used = 6;
      return Step::Key;
    }
    if (in.size() >= 3 && in[2] == '[') {  // the Linux console's F1 to F5: ESC [ [ A to E
      if (in.size() < 4) return complete ? (used = in.size(), Step::Skip) : Step::Wait;
      used = 4;
      if (in[3] < 'A' || in[3] > 'E') return Step::Skip;
      key = Code(static_cast<KeyCode>(static_cast<int>(KeyCode::F1) + (in[3] - 'A')));
      return Step::Key;
    }
    size_t i = 2;
    while (i < in.size() && static_cast<unsigned char>(in[i]) >= 0x20 &&
           static_cast<unsigned char>(in[i]) <= 0x3F)
      ++i;
    while (i < in.size() && static_cast<unsigned char>(in[i]) >= 0x20 &&
           static_cast<unsigned char>(in[i]) <= 0x2F)
      ++i;
    if (i >= in.size()) {
      if (!complete && i < kLongestSequence) return Step::Wait;
      used = in.size();
      return Step::Skip;
    }
    const unsigned char final = static_cast<unsigned char>(in[i]);
    used = i + 1;
    if (final < 0x40 || final > 0x7E) {
      used = i;  // a broken sequence: drop what came before the stray byte
      return Step::Skip;
    }
    key = CsiKey(in.substr(2, i - 2), static_cast<char>(final));
    return Step::Key;
  }
  if (second == 'O') {
    if (in.size() < 3) {
      if (!complete) return Step::Wait;
      key = Code(KeyCode::Char);  // Alt-O
      key.text.assign(1, 'O');
      key.alt = true;
      used = 2;
      return Step::Key;
    }
    key = Code(LetterKey(in[2]));
    used = 3;
    return Step::Key;
  }
  if (second == kEsc) {
    key = Code(KeyCode::Escape);
    used = 1;
    return Step::Key;
  }
  size_t plainUsed = 0;
  const Step step = PlainKey(in, 1, complete, charset, key, plainUsed);
  if (step == Step::Wait) return step;
  used = 1 + plainUsed;
  if (step == Step::Key) key.alt = true;
  return step;
}

}  // namespace

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

std::vector<Key> DecodeKeys(std::string& input, bool complete, const Charset& charset) {
  std::vector<Key> keys;
  size_t at = 0;
  while (at < input.size()) {
    Key key;
    size_t used = 0;
    Step step;
    if (input[at] == kEsc) {
      const std::string rest = input.substr(at, kLongestSequence);
      step = EscapeKey(rest, complete || input.size() - at > kLongestSequence, charset, key, used);
    } else {
      step = PlainKey(input, at, complete, charset, key, used);
    }
    if (step == Step::Wait) break;
    if (step == Step::Key && key.code != KeyCode::None) keys.push_back(std::move(key));
    at += used;
  }
  input.erase(0, at);
  return keys;
}

}  // namespace tui
