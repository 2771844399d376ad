// The removal script's hexadecimal items, on any text: ReadChecksumItem gives the value that the
// digits say (blanks, tabs and line feeds skipped, reading up to the first other character, 16-bit
// signed up to four significant digits, 32-bit signed up to eight) or the overflow error beyond eight;
// a list of items keys each checksum by its decimal digits and refuses one twice.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "removal/RemovalScript.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// The item's value as a reader of the format computes it, or nothing beyond eight significant digits.
std::optional<std::int32_t> Expected(std::wstring_view item) {
  std::wstring digits;
  for (wchar_t c : item) {
    if (c == L' ' || c == L'\t' || c == L'\n') continue;
    if (!((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F'))) break;
    if (digits.empty() && c == L'0') continue;
    digits += c;
  }
  if (digits.size() > 8) return std::nullopt;
  const std::uint64_t value = digits.empty() ? 0 : std::stoull(std::string(digits.begin(), digits.end()), nullptr, 16);
  if (digits.size() <= 4) return static_cast<std::int32_t>(value >= 0x8000 ? value - 0x10000 : value);
  return static_cast<std::int32_t>(static_cast<std::int64_t>(value >= 0x80000000u ? value - 0x100000000u : value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::wstring text = fuzz::TextOf(data, size);
  using Result = std::variant<std::int32_t, long>;
  const std::optional<std::int32_t> expected = Expected(text);
  FUZZ_CHECK(fuzz::Outcome([&] { return RemovalScript::ReadChecksumItem(text); }) ==
             (expected ? Result(*expected) : Result(err::kOverflow)));

  // The same text as a list: one entry per piece up to the first that does not read or stands twice.
  RemovalScript::CChecksumList list;
  std::size_t pieces = text.empty() ? 0 : 1;
  for (wchar_t c : text) pieces += c == L';';
  const auto error = fuzz::ErrorOf([&] { RemovalScript::ReadChecksumList(text, list); });
  FUZZ_CHECK(error ? (*error == err::kOverflow || *error == err::kDuplicateKey) && list.Count() < pieces
                   : list.Count() == pieces);
  for (std::size_t i = 1; i <= list.Count(); ++i) {
    FUZZ_CHECK(list.Key(i) == qn::NumberKey(list.Item(i)));
    FUZZ_CHECK(list.Key(i) == L"_" + std::to_wstring(list.Item(i)));
  }
  return 0;
}
