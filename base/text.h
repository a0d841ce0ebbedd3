// Text helpers of the Windows runtime: the ANSI code page (Windows-1252) at the
// file boundary, and letter case as the runtime's UCase sees it. Texts inside
// the program are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// UTF-8 to Windows-1252; a character the code page cannot hold, and a byte that
// is not valid UTF-8, become "?".
std::string ToAnsi(std::string_view utf8);
// Windows-1252 to UTF-8 (the five unassigned bytes map to the C1 controls).
std::string FromAnsi(std::string_view ansi);
// True when Windows-1252 can spell every character of the text (valid UTF-8),
// so that it comes back unchanged from a file.
bool SpelledInAnsi(std::string_view utf8);

// Upper case for the letters of the ANSI code page (ASCII, the Latin-1 letters,
// and the few extra letters of Windows-1252); other characters stay.
std::string UpperCase(std::string_view utf8);

// Equal when the texts differ only in letter case (as Windows compares names).
bool EqualIgnoringCase(std::string_view a, std::string_view b);
// Case-insensitive order for listings; ties broken by byte order so that the
// order is total and the same on every machine.
bool LessIgnoringCase(std::string_view a, std::string_view b);
// A hash that agrees with EqualIgnoringCase: texts equal ignoring case hash alike.
size_t HashIgnoringCase(std::string_view text);

// Removes leading and trailing space characters (blanks only, not tabs).
std::string TrimBlanks(std::string_view s);

// Number of characters (code points) of a UTF-8 text.
size_t CharCount(std::string_view utf8);
// The characters of UTF-8 text, an invalid byte counting as one "?"; and one
// character back as UTF-8.
std::u32string DecodeUtf8(std::string_view utf8);
// Decodes the one UTF-8 sequence at utf8[i] and moves i past it; a byte that
// starts no valid sequence (stray, overlong, surrogate, beyond U+10FFFF) gives
// kNoUtf8 and moves i by one.
inline constexpr char32_t kNoUtf8 = 0xFFFFFFFF;
char32_t DecodeUtf8At(std::string_view utf8, size_t& i);
std::string EncodeUtf8(char32_t ch);
// The first n characters (code points) of a UTF-8 text.
std::string LeftChars(std::string_view utf8, size_t n);
// The characters from position start (0-based), at most n of them.
std::string MidChars(std::string_view utf8, size_t start, size_t n = std::string::npos);

}  // namespace platform
