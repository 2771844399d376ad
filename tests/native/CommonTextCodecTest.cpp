// The text codec of the shared component library: UTF-8 and UTF-16LE (the logger, registry data) and
// the byte-to-text form of CUtilities.BytesToText / TextToBytes (the submission's body).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/TextCodec.h"
#include "common/Utilities.h"
#include "tests/native/TextCodecCases.h"

namespace {

using codec_cases::Wide;

std::wstring FromUtf16Le(const std::string& bytes) {
  return qn::FromUtf16Le(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

TEST(CommonTextCodec, KnownCharactersHaveTheirUtf8Bytes) {
  for (const auto& c : codec_cases::kKnownCharacters) {
    EXPECT_EQ(qn::ToUtf8(Wide(c.codePoint)), c.utf8) << std::hex << static_cast<std::uint32_t>(c.codePoint);
    EXPECT_EQ(qn::FromUtf8(c.utf8), Wide(c.codePoint)) << std::hex << static_cast<std::uint32_t>(c.codePoint);
  }
}

// Every character from U+0000 to U+10FFFF (the surrogates are no characters) goes to UTF-8 with the
// length its range asks for and comes back; its UTF-16LE form comes back as the same text.
TEST(CommonTextCodec, EveryCharacterRoundTripsThroughUtf8AndUtf16) {
  std::wstring text;
  std::string utf16;
  std::size_t utf8Length = 0;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    text += Wide(c);
    utf8Length += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    const auto unit = [&utf16](char32_t u) { utf16 += static_cast<char>(u & 0xFF), utf16 += static_cast<char>(u >> 8); };
    if (c < 0x10000) {
      unit(c);
    } else {
      unit(0xD800 + ((c - 0x10000) >> 10));
      unit(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  const std::string utf8 = qn::ToUtf8(text);
  EXPECT_EQ(utf8.size(), utf8Length);
  EXPECT_TRUE(qn::FromUtf8(utf8) == text);  // not EXPECT_EQ: a failure would print a million characters
  EXPECT_TRUE(FromUtf16Le(utf16) == text);
}

TEST(CommonTextCodec, SurrogatesInWideTextPairUpOrBecomeTheReplacement) {
  for (const auto& c : codec_cases::kSurrogateTexts) EXPECT_EQ(qn::ToUtf8(c.text), c.utf8) << c.what;
}

TEST(CommonTextCodec, MalformedUtf8GivesOneReplacementPerBrokenSequence) {
  for (const auto& c : codec_cases::kMalformedUtf8) EXPECT_EQ(qn::FromUtf8(c.bytes), c.text) << c.what;
}

TEST(CommonTextCodec, Utf16LePairsUpAndKeepsLoneSurrogates) {
  for (const auto& c : codec_cases::kUtf16Le) EXPECT_EQ(FromUtf16Le(c.bytes), c.text) << c.what;
}

// ---- bytes as text ----

using Bytes = std::vector<std::uint8_t>;

TEST(CommonBytesAsText, KnownBytesGiveKnownText) {
  const struct { Bytes bytes; std::wstring text; } cases[] = {
      {{}, L""}, {{'f'}, L"Zg=="}, {{'f', 'o'}, L"Zm8="}, {{'f', 'o', 'o'}, L"Zm9v"},
      {{'f', 'o', 'o', 'b'}, L"Zm9vYg=="}, {{'f', 'o', 'o', 'b', 'a'}, L"Zm9vYmE="},
      {{'f', 'o', 'o', 'b', 'a', 'r'}, L"Zm9vYmFy"},
      {{0xFF}, L"/w=="}, {{0xFF, 0xFF}, L"//8="}, {{0xFF, 0xFE, 0xFD, 0xFC}, L"//79/A=="},
      // Every character of the alphabet, in order.
      {{0x00, 0x10, 0x83, 0x10, 0x51, 0x87, 0x20, 0x92, 0x8B, 0x30, 0xD3, 0x8F, 0x41, 0x14, 0x93, 0x51,
        0x55, 0x97, 0x61, 0x96, 0x9B, 0x71, 0xD7, 0x9F, 0x82, 0x18, 0xA3, 0x92, 0x59, 0xA7, 0xA2, 0x9A,
        0xAB, 0xB2, 0xDB, 0xAF, 0xC3, 0x1C, 0xB3, 0xD3, 0x5D, 0xB7, 0xE3, 0x9E, 0xBB, 0xF3, 0xDF, 0xBF},
       L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utilities().BytesToText(c.bytes), c.text);
    EXPECT_EQ(Utilities().TextToBytes(c.text), c.bytes) << c.text;
  }
}

// Every length from 0 to 64, each with every byte value (buffers of counting bytes, the next buffer
// going on where the last one stopped, one more each time so that a value meets each place of a
// three-byte group): the text is four characters per three bytes, padded with "=" to a multiple of
// four, uses only the alphabet, and reads back to the same bytes.
TEST(CommonBytesAsText, EveryLengthAndByteValueRoundTrips) {
  for (std::size_t n = 0; n <= 64; ++n) {
    for (int start = 0; start < 256 + 3; start += n == 0 ? 259 : static_cast<int>(n) + 1) {
      Bytes bytes(n);
      for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(start + i);
      const std::wstring text = Utilities().BytesToText(bytes);
      ASSERT_EQ(text.size(), (n + 2) / 3 * 4) << n;
      const std::size_t padding = (3 - n % 3) % 3;
      EXPECT_EQ(text.find(L'='), padding == 0 ? std::wstring::npos : text.size() - padding) << n;
      EXPECT_EQ(text.find_first_not_of(L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
                std::wstring::npos) << n;
      EXPECT_EQ(Utilities().TextToBytes(text), bytes) << n << " from " << start;
    }
  }
}

// A large buffer reads back exactly, also when the text was re-wrapped into lines on its way.
TEST(CommonBytesAsText, LargeBufferRoundTripsAlsoWhenRewrapped) {
  std::mt19937 random(20240);
  Bytes bytes((1u << 20) + 1);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
  const std::wstring text = Utilities().BytesToText(bytes);
  EXPECT_TRUE(Utilities().TextToBytes(text) == bytes);
  std::wstring wrapped;
  for (std::size_t i = 0; i < text.size(); i += 76) wrapped += text.substr(i, 76) + L"\r\n\t ";
  EXPECT_TRUE(Utilities().TextToBytes(wrapped) == bytes);
  EXPECT_EQ(Utilities().TextToBytes(L"Zm9v\r\nYm\tFy \r\n"), (Bytes{'f', 'o', 'o', 'b', 'a', 'r'}));
  EXPECT_EQ(Utilities().TextToBytes(L"Zm8"), (Bytes{'f', 'o'}));  // padding left off
}

TEST(CommonBytesAsText, TextThatIsNotTheFormIsError5) {
  const struct { const char* what; std::wstring text; } cases[] = {
      {"a character outside the alphabet", L"Zm9v!"}, {"the URL-safe alphabet", L"Zm9v-_8="},
      {"a letter with an accent", L"Zm9\u00E9"}, {"a NUL", std::wstring(L"Zm\0v", 4)},
      {"a character above U+FFFF", L"Zm9v" + Wide(0x1F600)}, {"padding in the middle", L"Zm9=v"},
      {"text after the padding", L"Zg==Zg=="}, {"padding alone", L"=="}, {"padding first", L"=Zm9"},
      {"padding after a whole group", L"Zm9v="}, {"three padding characters", L"Zg==="},
      {"padding after one character", L"Z==="}, {"one character", L"Z"}, {"five characters", L"Zm9vY"},
      {"stray bits under two characters", L"Zh=="}, {"stray bits under three characters", L"Zm9="},
  };
  for (const auto& c : cases) {
    try {
      Utilities().TextToBytes(c.text);
      ADD_FAILURE() << "accepted: " << c.what;
    } catch (const CError& e) {
      EXPECT_EQ(e.Number(), err::kInvalidArgument) << c.what;
      EXPECT_NE(e.Description().find(L"not a valid encoded byte string"), std::wstring::npos) << c.what;
    }
  }
}

}  // namespace
