// The whole check of a pasted removal script, on this machine of the doubles (FakeSystem's computer
// name, OS and CPU, version 2.0.24). The first byte chooses the input: any pasted text as it is, or a
// script assembled from fuzzed parts (mail text around it, the six values or others of any kind, lists
// of checksums, a minimum version, re-wrapped lines) so that the checks behind the markers are reached.
// Either way CheckScript answers yes with lists keyed as the remover looks them up, or no with one of
// its three texts; a script made for this PC and version that the fuzzer did not spoil is accepted with
// exactly its checksums; every log line keeps its layout.
#include <cstdint>
#include <set>
#include <string>

#include "common/Items.h"
#include "common/Utilities.h"
#include "removal/RemovalScript.h"
#include "shell/Strings.h"
#include "tests/fuzz/ScriptFuzzSupport.h"
#include "ui/PropertyBag.h"

namespace {

using RemovalScript::CChecksumList;
using RemovalScript::ScriptTexts;

const wchar_t* const kVersions[] = {L"2.0.24", L"1.9.99", L"1.5.0", L"2.0.25", L"2.1.0", L"3.0.0", L"2.0", L"",
                                    L"02.00.0024.7", L" 2 . 0 . 24 "};
constexpr std::size_t kAcceptedVersions = 3;  // the first three may run on 2.0.24

// What the fuzzer made of a script, besides its text.
struct Made {
  bool sound = true;          // made for this PC and version, lists readable, nothing spoilt
  std::set<std::int32_t> white, black;
};

// A checksum list: checksums written as the vendor writes them (upper-case hexadecimal, each once), or
// any text.
std::wstring ConsumeList(FuzzedDataProvider& input, Made& made, std::set<std::int32_t>& checksums) {
  if (input.ConsumeBool()) {
    made.sound = false;
    return fuzz::ConsumeText(input, 64);
  }
  std::wstring list;
  for (int count = input.ConsumeIntegralInRange(0, 6); count > 0; --count) {
    const std::int32_t checksum = input.ConsumeIntegralInRange<std::int32_t>(0, 0x7FFFFFFF);
    wchar_t digits[16];
    std::swprintf(digits, 16, L"%X", static_cast<unsigned>(checksum));
    // Four significant digits from 8000 on read as a negative 16-bit value: the vendor cannot send them.
    if (checksum >= 0x8000 && checksum <= 0xFFFF) continue;
    if (!checksums.insert(checksum).second) continue;
    if (!list.empty()) list += L';';
    list += digits;
  }
  return list;
}

std::wstring MakeScript(FuzzedDataProvider& input, Made& made) {
  long major = 0, minor = 0, build = 0, platformId = 0;
  std::wstring servicePack;
  const std::wstring os = Utilities().GetOSVersion(major, minor, build, platformId, servicePack);

  ui::PropertyBag bag;
  bag.WriteProperty(L"w", ConsumeList(input, made, made.white));
  bag.WriteProperty(L"b", ConsumeList(input, made, made.black));
  for (const auto& [name, value] : {std::pair{L"pcname", Utilities().GetComputerName()}, {L"os", os}, {L"cpu", Utilities().GetCPUType()}}) {
    switch (input.ConsumeIntegralInRange(0, 3)) {
      case 0: bag.WriteProperty(name, value); break;
      case 1: made.sound = false; break;  // absent
      case 2: made.sound = false; bag.WriteProperty(name, fuzz::ConsumeText(input, 64)); break;
      case 3: made.sound = false; bag.WriteProperty(name, input.ConsumeIntegral<std::int32_t>()); break;
    }
  }
  const std::size_t version = input.ConsumeIntegralInRange<std::size_t>(0, std::size(kVersions));
  made.sound = made.sound && version < kAcceptedVersions;
  bag.WriteProperty(L"minappversion",
                    version < std::size(kVersions) ? std::wstring(kVersions[version]) : fuzz::ConsumeText(input, 32));
  // Other values: another name, or one of the six again as a number or a value set.
  for (int extra = input.ConsumeIntegralInRange(0, 2); extra > 0; --extra) {
    const std::wstring name = fuzz::ConsumeText(input, 16);
    made.sound = false;
    if (input.ConsumeBool()) {
      bag.WriteProperty(name, input.ConsumeIntegral<std::int32_t>());
    } else {
      CProperties set;
      set.Add(L"v", fuzz::ConsumeText(input, 16));
      bag.WriteProperty(name, set);
    }
  }

  std::wstring body = Utilities().BytesToText(bag.Contents());
  // Re-wrapped by a mail program: line breaks every so many characters, perhaps quoted with "> ", which
  // is not part of the text form.
  if (const std::size_t width = input.ConsumeIntegralInRange(0, 100); width > 0) {
    const bool quoted = input.ConsumeBool();
    std::wstring wrapped;
    for (std::size_t i = 0; i < body.size(); i += width) wrapped += body.substr(i, width) + (quoted ? L"\r\n> " : L"\r\n");
    body = wrapped;
    made.sound = made.sound && !quoted;
  }
  const std::wstring before = fuzz::ConsumeText(input, 128);
  const std::wstring after = fuzz::ConsumeText(input, 128);
  // Mail text with "=" in it could hold a marker of its own.
  if (before.find(L'=') != std::wstring::npos || after.find(L'=') != std::wstring::npos) made.sound = false;
  return before + std::wstring(RemovalScript::kStartMarker) + L"\r\n" + body + L"\r\n" +
         std::wstring(RemovalScript::kEndMarker) + after;
}

// The checksums of a list, each keyed as the remover looks it up.
std::set<std::int32_t> Checksums(const CChecksumList& list) {
  std::set<std::int32_t> checksums;
  for (std::size_t i = 1; i <= list.Count(); ++i) {
    FUZZ_CHECK(list.Key(i) == qn::NumberKey(list.Item(i)));
    checksums.insert(list.Item(i));
  }
  return checksums;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  fuzz::ScriptMachine();
  // An odd first byte: a script assembled from the rest, sound until the fuzzer spoils it.
  FuzzedDataProvider input(data + 1, size - 1);
  Made made{.sound = (data[0] & 1) != 0};
  const std::wstring text = made.sound ? MakeScript(input, made) : fuzz::TextOf(data + 1, size - 1);

  std::wstring errorText = L"poison";
  ScriptTexts texts;
  CChecksumList white, black;
  const bool ok = RemovalScript::CheckScript(text, errorText, texts, white, black);
  const std::set<std::int32_t> whites = Checksums(white), blacks = Checksums(black);
  if (ok) {
    FUZZ_CHECK(errorText.empty());
    FUZZ_CHECK(texts.pcname == Utilities().GetComputerName() && texts.cpu == Utilities().GetCPUType());
    FUZZ_CHECK(RemovalScript::IsMinAppVersionRestrictionApplies(texts.minappversion));
  } else {
    const std::wstring newer = Utilities().FormatString(LoadResString(119), {LoadResString(100), texts.minappversion});
    FUZZ_CHECK(errorText == LoadResString(108) || errorText == LoadResString(109) || errorText == newer ||
               errorText.empty());
  }
  FUZZ_CHECK(!made.sound || (ok && whites == made.white && blacks == made.black));
  fuzz::CheckAndClearLogs();
  return 0;
}
