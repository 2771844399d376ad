// The text codec where wchar_t is a UTF-16 unit: the same tables as the native tests, and the system's
// own UTF-8 conversion as the judge of every character.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "common/TextCodec.h"
#include "tests/native/TextCodecCases.h"

namespace {

using codec_cases::Wide;

std::string SystemUtf8(const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr, nullptr);
  return utf8;
}

std::wstring SystemWide(const std::string& utf8) {
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring text(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), size);
  return text;
}

TEST(CommonTextCodecWine, EveryCharacterConvertsAsTheSystemConvertsIt) {
  std::wstring text;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c < 0xD800 || c > 0xDFFF) text += Wide(c);
  }
  ASSERT_EQ(text.size(), 0x10000u - 0x800u + 2u * 0x100000u);  // the pairs above U+FFFF take two units
  const std::string utf8 = qn::ToUtf8(text);
  EXPECT_TRUE(utf8 == SystemUtf8(text));  // not EXPECT_EQ: a failure would print four megabytes
  EXPECT_TRUE(qn::FromUtf8(utf8) == text);
  EXPECT_TRUE(SystemWide(utf8) == text);
  EXPECT_TRUE(qn::FromUtf16Le(reinterpret_cast<const unsigned char*>(text.data()), text.size() * 2) == text);
}

TEST(CommonTextCodecWine, KnownCharactersHaveTheirUtf8Bytes) {
  for (const auto& c : codec_cases::kKnownCharacters) {
    EXPECT_EQ(qn::ToUtf8(Wide(c.codePoint)), c.utf8) << std::hex << static_cast<unsigned>(c.codePoint);
    EXPECT_EQ(qn::FromUtf8(c.utf8), Wide(c.codePoint)) << std::hex << static_cast<unsigned>(c.codePoint);
  }
}

TEST(CommonTextCodecWine, SurrogatesInWideTextPairUpOrBecomeTheReplacement) {
  for (const auto& c : codec_cases::kSurrogateTexts) EXPECT_EQ(qn::ToUtf8(c.text), c.utf8) << c.what;
}

TEST(CommonTextCodecWine, MalformedUtf8GivesOneReplacementPerBrokenSequence) {
  for (const auto& c : codec_cases::kMalformedUtf8) EXPECT_EQ(qn::FromUtf8(c.bytes), c.text) << c.what;
}

TEST(CommonTextCodecWine, Utf16LePairsUpAndKeepsLoneSurrogates) {
  for (const auto& c : codec_cases::kUtf16Le) {
    EXPECT_EQ(qn::FromUtf16Le(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size()), c.text)
        << c.what;
  }
}

}  // namespace
