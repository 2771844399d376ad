#pragma once
// Removal scripts for the native tests, written as the vendor writes them (docs/formats.md): the six
// values in a property bag, its bytes in the text form, between the two marker lines.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "common/Utilities.h"
#include "ui/PropertyBag.h"

namespace script_test {

inline const std::wstring kStart = L"============= Spyware Removal Script =============";
inline const std::wstring kEnd = L"============ ^Spyware Removal Script^ ============";

using Values = std::vector<std::pair<std::wstring, std::wstring>>;

// The values of a script for the in-memory machine's PC (FakeSystem's defaults) and version 2.0.24,
// with the lists given; each of `changes` replaces the value of its name where it stands, or follows
// them when there is none.
inline Values ForThisPC(const std::wstring& white, const std::wstring& black, const Values& changes = {}) {
  Values values{{L"w", white}, {L"b", black}, {L"pcname", L"TESTPC"}, {L"os", L"Microsoft Windows XP 5.1.2600"},
                {L"cpu", L"x86 Family 6 Model 15"}, {L"minappversion", L"2.0.24"}};
  for (const auto& [name, value] : changes) {
    auto same = std::find_if(values.begin(), values.end(), [&](const auto& v) { return v.first == name; });
    if (same != values.end()) {
      same->second = value;
    } else {
      values.emplace_back(name, value);
    }
  }
  return values;
}

// The body: the bag's bytes in the text form, wrapped at 76 characters with CR LF.
inline std::wstring Body(const Values& values) {
  ui::PropertyBag bag;
  for (const auto& [name, value] : values) bag.WriteProperty(name, value);
  const std::wstring text = Utilities().BytesToText(bag.Contents());
  std::wstring wrapped;
  for (std::size_t i = 0; i < text.size(); i += 76) wrapped += text.substr(i, 76) + L"\r\n";
  return wrapped;
}

// The script as the vendor's mail holds it, with the lines around it.
inline std::wstring Script(const std::wstring& body) { return kStart + L"\r\n" + body + kEnd + L"\r\n"; }
inline std::wstring Script(const Values& values) { return Script(Body(values)); }

}  // namespace script_test
