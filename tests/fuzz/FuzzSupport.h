#pragma once
// What the fuzz targets share: turning the fuzzer's bytes into the program's texts, and a check that
// stops the run with a message when a property of the code under test does not hold.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include <fuzzer/FuzzedDataProvider.h>

#include "common/TextCodec.h"

namespace fuzz {

// A property that must hold for every input: a failure aborts, which libFuzzer reports as a crash and
// keeps the input.
#define FUZZ_CHECK(condition)                                                              \
  do {                                                                                     \
    if (!(condition)) {                                                                    \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                        \
    }                                                                                      \
  } while (false)

// A text as the program may be handed it. The first byte chooses the form of the rest: UTF-8 (what a
// mail or the clipboard mostly gives; malformed bytes become U+FFFD), or raw 16-bit units as Windows
// holds them, lone surrogates and NULs included.
inline std::wstring TextOf(std::string_view bytes) {
  if (bytes.empty()) return {};
  if ((static_cast<unsigned char>(bytes[0]) & 0x80) == 0) return qn::FromUtf8(std::string(bytes.substr(1)));
  std::wstring text;
  for (std::size_t i = 1; i + 1 < bytes.size(); i += 2) {
    text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
  }
  return text;
}

// The next text of a structured input: a length-prefixed piece of `data` in the form above.
inline std::wstring ConsumeText(FuzzedDataProvider& data, std::size_t maxBytes = 256) {
  return TextOf(data.ConsumeRandomLengthString(maxBytes));
}

}  // namespace fuzz
