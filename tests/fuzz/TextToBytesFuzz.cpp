// CUtilities::TextToBytes on any text: it gives bytes or throws CError, nothing else, and what it
// accepts is exactly one byte string, which BytesToText writes back in the same characters. The same
// input read as bytes goes the other way round.
#include <cstdint>
#include <string>
#include <vector>

#include "common/Utilities.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// The characters that carry data: blanks, line breaks and padding are what TextToBytes skips.
std::wstring Significant(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c != L' ' && c != L'\t' && c != L'\r' && c != L'\n' && c != L'=') out += c;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const CUtilities& utilities = Utilities();
  const std::wstring text = fuzz::TextOf(data, size);
  try {
    const std::vector<std::uint8_t> bytes = utilities.TextToBytes(text);
    const std::wstring again = utilities.BytesToText(bytes);
    FUZZ_CHECK(Significant(again) == Significant(text));
  } catch (const CError& e) {
    FUZZ_CHECK(e.Number() == err::kInvalidArgument && !e.Description().empty());
  }

  const std::vector<std::uint8_t> bytes(data, data + size);
  const std::wstring form = utilities.BytesToText(bytes);
  FUZZ_CHECK(form.find_first_of(L"&% \r\n") == std::wstring::npos);
  FUZZ_CHECK(utilities.TextToBytes(form) == bytes);
  return 0;
}
