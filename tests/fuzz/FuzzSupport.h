#pragma once
// What the fuzz targets share: turning the fuzzer's bytes into the program's texts, the in-memory
// machine a target keeps, what a call gives or throws (CError and its numbers come with this header),
// and a check that stops the run with a message when a property of the code under test does not hold.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include <fuzzer/FuzzedDataProvider.h>

#include "common/Error.h"
#include "common/TextCodec.h"
#include "tests/doubles/FakeMachine.h"

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

inline std::wstring TextOf(const std::uint8_t* data, std::size_t size) {
  return TextOf(std::string_view(reinterpret_cast<const char*>(data), size));
}

// The next text of a structured input: a length-prefixed piece of `data` in the form above.
inline std::wstring ConsumeText(FuzzedDataProvider& data, std::size_t maxBytes = 256) {
  return TextOf(data.ConsumeRandomLengthString(maxBytes));
}

// The characters of a text: a surrogate pair is one (UTF-16 on Windows; natively the two units that
// a UTF-16 text may leave), a surrogate without its partner another.
template <class Visit>
void EachCharacter(const std::wstring& text, Visit visit) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<std::uint32_t>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<std::uint32_t>(text[i + 1]) : 0u;
    if (c >= 0xD800 && c <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
      ++i;
    }
    visit(c);
  }
}

// The in-memory machine of a target that keeps one for all its inputs: made, and handed to `prepare`,
// on the first call; never destroyed, so that it outlives whatever the program keeps of it.
inline platform::FakeMachine& Machine(void (*prepare)(platform::FakeMachine&) = nullptr) {
  static platform::FakeMachine* machine = [prepare] {
    auto* made = new platform::FakeMachine;
    if (prepare != nullptr) prepare(*made);
    return made;
  }();
  return *machine;
}

// What `run` gives: its result, or the number of the CError it throws.
template <class Run>
std::variant<std::invoke_result_t<Run>, long> Outcome(Run run) {
  try {
    return run();
  } catch (const CError& e) {
    return e.Number();
  }
}

// The number of the CError that `run` throws, or nothing when it returns.
template <class Run>
std::optional<long> ErrorOf(Run run) {
  try {
    run();
  } catch (const CError& e) {
    return e.Number();
  }
  return std::nullopt;
}

}  // namespace fuzz
