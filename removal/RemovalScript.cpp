#include "removal/RemovalScript.h"

#include <cstddef>
#include <vector>

#include "common/Blanks.h"
#include "common/Error.h"
#include "common/Logger.h"
#include "common/Utilities.h"
#include "shell/MWDL.h"
#include "shell/Strings.h"
#include "ui/PropertyBag.h"

namespace RemovalScript {
namespace {

constexpr int kInvalidScriptId = 108;
constexpr int kOtherComputerId = 109;
constexpr int kNewerVersionId = 119;
constexpr int kProductNameId = 100;
constexpr std::size_t kMaxSignificantDigits = 8;
// How much of an unreadable item its error names.
constexpr std::size_t kQuotedItemLength = 40;

int HexDigitValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

// The characters that a number of an item or a version part may have anywhere: not the program's
// trimming rule (common/Blanks.h), which takes off spaces only.
bool IsIgnoredBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n'; }

// A whole number of any length: its sign and its digits without leading zeros (zero has none and no sign).
struct WholeNumber {
  bool negative = false;
  std::wstring digits;
};

// The leading decimal number of a version part, blanks ignored.
WholeNumber LeadingNumber(std::wstring_view part) {
  WholeNumber number;
  bool signSeen = false;
  for (wchar_t c : part) {
    if (IsIgnoredBlank(c)) continue;
    if (!signSeen && number.digits.empty() && (c == L'-' || c == L'+')) {
      signSeen = true;
      number.negative = c == L'-';
      continue;
    }
    if (c < L'0' || c > L'9') break;
    signSeen = true;
    if (number.digits.empty() && c == L'0') continue;
    number.digits += c;
  }
  if (number.digits.empty()) number.negative = false;
  return number;
}

int Compare(const WholeNumber& a, const WholeNumber& b) {
  if (a.negative != b.negative) return a.negative ? -1 : 1;
  int magnitude = 0;
  if (a.digits.size() != b.digits.size()) {
    magnitude = a.digits.size() < b.digits.size() ? -1 : 1;
  } else {
    const int order = a.digits.compare(b.digits);
    magnitude = order < 0 ? -1 : (order > 0 ? 1 : 0);
  }
  return a.negative ? -magnitude : magnitude;
}

// The first three parts of a version split at ".".
std::vector<std::wstring_view> FirstThreeParts(std::wstring_view version) {
  std::vector<std::wstring_view> parts;
  std::size_t from = 0;
  while (parts.size() < 3) {
    const std::size_t dot = version.find(L'.', from);
    parts.push_back(version.substr(from, dot == std::wstring_view::npos ? std::wstring_view::npos : dot - from));
    if (dot == std::wstring_view::npos) break;
    from = dot + 1;
  }
  if (parts.size() < 3) throw CError(err::kSubscriptOutOfRange, L"Subscript out of range");
  return parts;
}

}  // namespace

std::int32_t ReadChecksumItem(std::wstring_view item) {
  std::uint32_t value = 0;
  std::size_t significant = 0;
  for (wchar_t c : item) {
    if (IsIgnoredBlank(c)) continue;
    const int digit = HexDigitValue(c);
    if (digit < 0) break;
    if (significant == 0 && digit == 0) continue;
    if (++significant > kMaxSignificantDigits) {
      std::wstring quoted(item.substr(0, kQuotedItemLength));
      if (item.size() > kQuotedItemLength) quoted += L"...";
      throw CError(err::kOverflow, L"Overflow: the checksum \"" + quoted +
                                       L"\" has more than eight significant hexadecimal digits");
    }
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  if (significant <= 4) return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
  return static_cast<std::int32_t>(value);
}

void ReadChecksumList(const std::wstring& text, CChecksumList& list) {
  if (text.empty()) return;
  std::size_t from = 0;
  for (;;) {
    const std::size_t separator = text.find(L';', from);
    const std::int32_t checksum = ReadChecksumItem(std::wstring_view(text).substr(
        from, separator == std::wstring::npos ? std::wstring::npos : separator - from));
    list.Add(checksum, qn::NumberKey(checksum));
    if (separator == std::wstring::npos) break;
    from = separator + 1;
  }
}

int CompareVersions(std::wstring_view version, std::wstring_view other) {
  const std::vector<std::wstring_view> mine = FirstThreeParts(version);
  const std::vector<std::wstring_view> theirs = FirstThreeParts(other);
  for (std::size_t i = 0; i < 3; ++i) {
    if (const int order = Compare(LeadingNumber(mine[i]), LeadingNumber(theirs[i])); order != 0) return order;
  }
  return 0;
}

bool ParseScriptFromMessage(const std::wstring& Text, ScriptTexts& texts, CChecksumList& WhiteList,
                            CChecksumList& BlackList) {
  try {
    const std::size_t start = Text.find(kStartMarker);
    const std::size_t end = Text.find(kEndMarker);
    if (start == std::wstring::npos || end == std::wstring::npos || start > end) return false;
    const std::size_t bodyStart = start + kStartMarker.size();
    // An end marker that begins inside the start marker leaves no body at all.
    if (end < bodyStart) throw CError(err::kInvalidArgument, L"Invalid procedure call or argument");

    ui::PropertyBag bag;
    bag.SetContents(Utilities().TextToBytes(Text.substr(bodyStart, end - bodyStart)));
    const std::wstring white = bag.ReadProperty(L"w", L"");
    const std::wstring black = bag.ReadProperty(L"b", L"");
    texts.pcname = bag.ReadProperty(L"pcname", L"");
    texts.os = bag.ReadProperty(L"os", L"");
    texts.cpu = bag.ReadProperty(L"cpu", L"");
    texts.minappversion = bag.ReadProperty(L"minappversion", L"");

    WhiteList = CChecksumList();
    ReadChecksumList(white, WhiteList);
    BlackList = CChecksumList();
    ReadChecksumList(black, BlackList);
    return true;
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, L"FSpywareRemover.ParseScriptFromMessage");
    return false;
  }
}

bool IsMinAppVersionRestrictionApplies(const std::wstring& MinAppVersion) {
  try {
    return CompareVersions(MWDL::gsVersion, MinAppVersion) >= 0;
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, L"FSpywareRemover.IsMinAppVersionRestrictionApplies");
    return false;
  }
}

bool CheckScript(std::wstring Text, std::wstring& ErrorText, ScriptTexts& texts, CChecksumList& WhiteList,
                 CChecksumList& BlackList) {
  try {
    ErrorText.clear();
    Text = qn::TrimSpaces(Text);  // line breaks stay
    if (Text.empty()) {
      ErrorText = LoadResString(kInvalidScriptId);
      return false;
    }
    if (!ParseScriptFromMessage(Text, texts, WhiteList, BlackList)) {
      ErrorText = LoadResString(kInvalidScriptId);
      return false;
    }

    const CUtilities& utilities = Utilities();
    const std::wstring computerName = utilities.GetComputerName();
    long major = 0, minor = 0, build = 0, platformId = 0;
    std::wstring servicePack;
    const std::wstring os = utilities.GetOSVersion(major, minor, build, platformId, servicePack);
    const std::wstring cpu = utilities.GetCPUType();
    if (texts.pcname != computerName || texts.os != os || texts.cpu != cpu) {
      ErrorText = LoadResString(kOtherComputerId);
      return false;
    }

    if (!IsMinAppVersionRestrictionApplies(texts.minappversion)) {
      ErrorText = utilities.FormatString(LoadResString(kNewerVersionId),
                                         {LoadResString(kProductNameId), texts.minappversion});
      return false;
    }
    return true;
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, L"FSpywareRemover.CheckScript");
    return false;
  }
}

}  // namespace RemovalScript
