#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "common/KeyedCollection.h"

// The Spyware Removal Script that the vendor sends back by e-mail and the user pastes into the
// removal-script window (docs/formats.md, "Removal scripts"): the script is taken out of the pasted
// text, decoded into its named values and checked against this PC and this program's version. These are
// the removal-script window's own procedures (their log lines carry its name, FSpywareRemover), kept
// here so that they can be driven without a window.
namespace RemovalScript {

// A checksum list of a script: item = the checksum, key = "_" + its decimal digits ("-" first when
// negative), the key form the remover looks up. The same type as the remover's CChecksumList
// (removal/PaRemover.h), named here without the remover's header.
using CChecksumList = CKeyedCollection<std::int32_t>;

// The two marker lines around the script's body, 50 characters each, found exactly as written.
inline constexpr std::wstring_view kStartMarker = L"============= Spyware Removal Script =============";
inline constexpr std::wstring_view kEndMarker = L"============ ^Spyware Removal Script^ ============";

// The texts of a script besides its lists.
struct ScriptTexts {
  std::wstring pcname;
  std::wstring os;
  std::wstring cpu;
  std::wstring minappversion;
};

// One hexadecimal item of a checksum list. Blanks, tabs and line feeds anywhere are ignored;
// hexadecimal digits (either case) are read up to the first other character; no digit reads 0. One to
// four significant digits (leading zeros do not count) read as a 16-bit signed value ("FFFF" is -1),
// five to eight as a 32-bit signed value. More than eight significant digits: CError err::kOverflow.
std::int32_t ReadChecksumItem(std::wstring_view item);

// Fills `list` from the items of `text` split at every ";" (empty pieces included: each reads 0); an
// empty text adds nothing. A checksum that is already in `list` is CError err::kDuplicateKey; `list`
// then holds the items before it (so does it after an item that does not read).
void ReadChecksumList(const std::wstring& text, CChecksumList& list);

// Compares two versions of three or more whole numbers joined by "." (major, minor, revision; further
// parts are ignored), part by part and numerically: blanks are ignored, each part is its leading decimal
// number (a sign may stand first; no digit reads 0), of any length. Negative when `version` is the
// lower, 0 when the three pairs are equal, positive when it is the higher. A version of fewer than three
// parts: CError err::kSubscriptOutOfRange.
int CompareVersions(std::wstring_view version, std::wstring_view other);

// Extracts and decodes the script in `Text`: the body between the first start marker and the first end
// marker, its text form read back into bytes, the bytes read as a property bag, then the six values
// "w", "b", "pcname", "os", "cpu" and "minappversion" as text ("" when absent). True when every step
// succeeded. False without a log line when a marker is missing or the end marker comes first (the
// outputs are then unchanged). False after an error, logged at level 0 with the source
// "FSpywareRemover.ParseScriptFromMessage" (a body that does not decode, bytes that are not a property
// bag, a value that is not text, an item that does not read, a checksum twice in one list): the outputs
// hold what was read before it, the list being filled then holding its items so far.
bool ParseScriptFromMessage(const std::wstring& Text, ScriptTexts& texts, CChecksumList& WhiteList,
                            CChecksumList& BlackList);

// True when this program's version (MWDL::gsVersion) may run a script that asks for `MinAppVersion`:
// the program's version is the same or higher. False when it is lower, and after an error (a version of
// fewer than three parts), which is logged at level 0 with the source
// "FSpywareRemover.IsMinAppVersionRestrictionApplies".
bool IsMinAppVersionRestrictionApplies(const std::wstring& MinAppVersion);

// The whole check of a pasted text: blanks trimmed at both ends (line breaks stay), the script parsed,
// its computer name, OS and CPU compared exactly with this PC's (Utilities()), its minimum version
// tested. True when the script may run: `texts` and both lists filled, `ErrorText` "". False with
// `ErrorText` = string 108 (no script, or it does not decode), 109 (made for another PC) or 119 filled
// with the product name and the script's minimum version; the outputs hold what the parse left. After an
// error of the check itself (logged at level 0, source "FSpywareRemover.CheckScript") the result is false
// and `ErrorText` is "".
bool CheckScript(std::wstring Text, std::wstring& ErrorText, ScriptTexts& texts, CChecksumList& WhiteList,
                 CChecksumList& BlackList);

}  // namespace RemovalScript
