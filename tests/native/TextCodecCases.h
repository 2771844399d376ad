#pragma once
// What the text codec must give, as tables that the native tests (a wchar_t holds a whole character)
// and the Wine tests (a wchar_t holds a UTF-16 unit) both check.
#include <string>
#include <vector>

namespace codec_cases {

// One character as the program's wide text holds it: a surrogate pair above U+FFFF where wchar_t is
// 16 bits wide, one unit otherwise.
inline std::wstring Wide(char32_t c) {
  if (sizeof(wchar_t) == 2 && c >= 0x10000) {
    c -= 0x10000;
    return {static_cast<wchar_t>(0xD800 + (c >> 10)), static_cast<wchar_t>(0xDC00 + (c & 0x3FF))};
  }
  return std::wstring(1, static_cast<wchar_t>(c));
}

// Wide text from raw units (lone surrogates included), the same on both builds.
inline std::wstring Units(std::initializer_list<unsigned> units) {
  std::wstring text;
  for (unsigned unit : units) text += static_cast<wchar_t>(unit);
  return text;
}

inline const std::wstring kBad = Wide(0xFFFD);

// Characters at the edges of each UTF-8 length.
struct KnownCharacter {
  char32_t codePoint;
  std::string utf8;
};
inline const std::vector<KnownCharacter> kKnownCharacters = {
    {0x0000, std::string(1, '\0')}, {0x0041, "A"},          {0x007F, "\x7F"},
    {0x0080, "\xC2\x80"},           {0x00E9, "\xC3\xA9"},   {0x07FF, "\xDF\xBF"},
    {0x0800, "\xE0\xA0\x80"},       {0x20AC, "\xE2\x82\xAC"}, {0xD7FF, "\xED\x9F\xBF"},
    {0xE000, "\xEE\x80\x80"},       {0xFFFD, "\xEF\xBF\xBD"}, {0xFFFF, "\xEF\xBF\xBF"},
    {0x10000, "\xF0\x90\x80\x80"},  {0x1F600, "\xF0\x9F\x98\x80"}, {0x10FFFF, "\xF4\x8F\xBF\xBF"},
};

// Wide text with surrogates, as UTF-8: a pair is one character, a surrogate without its partner is
// U+FFFD.
struct WideCase {
  const char* what;
  std::wstring text;
  std::string utf8;
};
inline const std::vector<WideCase> kSurrogateTexts = {
    {"pair", Units({0xD83D, 0xDE00}), "\xF0\x9F\x98\x80"},
    {"pair between letters", Units({'a', 0xD800, 0xDC00, 'b'}), "a\xF0\x90\x80\x80" "b"},
    {"high surrogate at the end", Units({'a', 0xD800}), "a\xEF\xBF\xBD"},
    {"low surrogate alone", Units({0xDC00, 'x'}), "\xEF\xBF\xBDx"},
    {"two highs, then a low", Units({0xD800, 0xD800, 0xDC00}), "\xEF\xBF\xBD\xF0\x90\x80\x80"},
    {"pair the wrong way round", Units({0xDC00, 0xD800}), "\xEF\xBF\xBD\xEF\xBF\xBD"},
};

// Malformed UTF-8: each broken or cut-short sequence is one U+FFFD, and what follows it survives.
struct BytesCase {
  const char* what;
  std::string bytes;
  std::wstring text;
};
inline const std::vector<BytesCase> kMalformedUtf8 = {
    {"continuation without lead", "\x80", kBad},
    {"two continuations", "a\x80\xBF" "b", L"a" + kBad + kBad + L"b"},
    {"lead at the end", "a\xC3", L"a" + kBad},
    {"three-byte cut before a letter", "\xE2\x82" "A", kBad + L"A"},
    {"four-byte cut at the end", "\xF0\x9F\x98", kBad},
    {"cut, then a whole character", "\xE2\x82\xC3\xA9", kBad + Wide(0xE9)},
    {"overlong NUL", "\xC0\x80", kBad + kBad},
    {"overlong slash", "\xC1\xAF", kBad + kBad},
    {"overlong three-byte", "\xE0\x80\xAF", kBad + kBad + kBad},
    {"overlong four-byte", "\xF0\x8F\xBF\xBF", kBad + kBad + kBad + kBad},
    {"encoded surrogate", "\xED\xA0\x80", kBad + kBad + kBad},
    {"above U+10FFFF", "\xF4\x90\x80\x80", kBad + kBad + kBad + kBad},
    {"bytes that never start a sequence", "\xF5\xF8\xFE\xFF", kBad + kBad + kBad + kBad},
    {"letters around a stray byte", "ok\xFFok", L"ok" + kBad + L"ok"},
};

// UTF-16LE bytes as wide text: a pair is one character, a surrogate without its partner stays as it
// is (so that a name read from the system still names the same file).
inline const std::vector<BytesCase> kUtf16Le = {
    {"letters", std::string("A\0b\0", 4), L"Ab"},
    {"pair", std::string("\x3D\xD8\x00\xDE", 4), Wide(0x1F600)},
    {"high surrogate at the end", std::string("A\0\x00\xD8", 4), Units({'A', 0xD800})},
    {"low surrogate alone", std::string("\x00\xDC" "A\0", 4), Units({0xDC00, 'A'})},
    {"high surrogate before a letter", std::string("\x00\xD8" "A\0", 4), Units({0xD800, 'A'})},
    {"pair the wrong way round", std::string("\x00\xDC\x00\xD8", 4), Units({0xDC00, 0xD800})},
    {"odd last byte", std::string("A\0B", 3), L"A"},
    {"nothing", "", L""},
};

}  // namespace codec_cases
