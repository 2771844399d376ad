// The removal script's version test on any two versions (the program's and the script's minimum):
// IsMinAppVersionRestrictionApplies says yes exactly when the program's version is the same or higher,
// part by part and numerically, and no (with an error in the log) for a version of fewer than three
// parts; the comparison is antisymmetric and every version equals itself.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "removal/RemovalScript.h"
#include "shell/MWDL.h"
#include "tests/fuzz/ScriptFuzzSupport.h"

namespace {

// The first three parts as numbers, as a reader of the format computes them: blanks skipped, a sign
// first, then decimal digits up to the first other character. Nothing for fewer than three parts, or
// for numbers too long for this model (the program compares any length).
std::optional<std::vector<std::int64_t>> Parts(std::wstring_view version) {
  std::vector<std::int64_t> parts;
  std::size_t from = 0;
  while (parts.size() < 3) {
    const std::size_t dot = version.find(L'.', from);
    const std::wstring_view part = version.substr(from, dot == std::wstring_view::npos ? dot : dot - from);
    std::int64_t value = 0;
    int sign = 1, digits = 0;
    bool first = true;
    for (wchar_t c : part) {
      if (c == L' ' || c == L'\t' || c == L'\n') continue;
      if (first && (c == L'-' || c == L'+')) {
        sign = c == L'-' ? -1 : 1;
        first = false;
        continue;
      }
      first = false;
      if (c < L'0' || c > L'9') break;
      if (value == 0 && c == L'0') continue;
      if (++digits > 18) return std::nullopt;
      value = value * 10 + (c - L'0');
    }
    parts.push_back(sign * value);
    if (dot == std::wstring_view::npos) break;
    from = dot + 1;
  }
  if (parts.size() < 3) return std::vector<std::int64_t>{};
  return parts;
}

int Sign(int n) { return (n > 0) - (n < 0); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::ScriptMachine();
  FuzzedDataProvider input(data, size);
  const std::wstring program = input.ConsumeBool() ? fuzz::kVersion : fuzz::ConsumeText(input, 64);
  const std::wstring minimum = fuzz::TextOf(input.ConsumeRemainingBytesAsString());

  MWDL::gsVersion = program;
  const bool applies = RemovalScript::IsMinAppVersionRestrictionApplies(minimum);
  MWDL::gsVersion = fuzz::kVersion;

  const auto mine = Parts(program), theirs = Parts(minimum);
  if (mine && theirs) FUZZ_CHECK(applies == (!mine->empty() && !theirs->empty() && *mine >= *theirs));
  const auto error = fuzz::ErrorOf([&] {
    const int order = RemovalScript::CompareVersions(program, minimum);
    FUZZ_CHECK(applies == (order >= 0));
    FUZZ_CHECK(Sign(RemovalScript::CompareVersions(minimum, program)) == -Sign(order));
    FUZZ_CHECK(RemovalScript::CompareVersions(minimum, minimum) == 0);
  });
  FUZZ_CHECK(!error || (!applies && *error == err::kSubscriptOutOfRange));
  fuzz::CheckAndClearLogs();
  return 0;
}
