// CRegistry over a registry that holds anything: keys and values of any name, values of every type with
// data of any length (strings without their NUL, odd lengths, short DWORDs), and listings or reads that
// fail with any code. Each read gives exactly what the data says or nothing; listings give each name
// once or throw CError, and the classes of a component category are those whose keys say so; nothing
// else happens.
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/KeyedCollection.h"
#include "common/Registry.h"
#include "common/TextCodec.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

using platform::FakeRegistry;
using platform::RegValue;
using platform::RegView;

constexpr platform::Hive kHives[] = {platform::kHkeyClassesRoot, platform::kHkeyCurrentUser,
                                     platform::kHkeyLocalMachine};
// The types the program meets, then any other number.
constexpr std::uint32_t kTypes[] = {platform::kRegNone, platform::kRegSz, platform::kRegExpandSz,
                                    platform::kRegBinary, platform::kRegDword, 5, 6, platform::kRegMultiSz, 11};
constexpr long kCodes[] = {platform::kErrorFileNotFound, platform::kErrorPathNotFound, platform::kErrorAccessDenied,
                           platform::kErrorMoreData, platform::kErrorNoMoreItems, platform::kErrorSuccess};

struct Place {
  platform::Hive hive;
  std::wstring keyPath;
  std::wstring valueName;
  RegView view = RegView::kNative;
};

// What GetValue must give for a stored value: nothing, or its text.
std::optional<std::wstring> ExpectedText(const RegValue& value) {
  if (value.type == platform::kRegSz || value.type == platform::kRegExpandSz) {
    const std::wstring text = qn::FromUtf16Le(value.data.data(), value.data.size());
    return text.substr(0, text.find(L'\0'));
  }
  if (value.type != platform::kRegDword || value.data.size() < 4) return std::nullopt;
  return std::to_wstring(static_cast<std::uint32_t>(value.data[0]) | (static_cast<std::uint32_t>(value.data[1]) << 8) |
                         (static_cast<std::uint32_t>(value.data[2]) << 16) |
                         (static_cast<std::uint32_t>(value.data[3]) << 24));
}

void CheckRead(CRegistry& registry, FakeRegistry& fake, RegView view, const Place& at) {
  const std::optional<RegValue> stored = fake.Value(at.hive, at.keyPath, at.valueName);
  std::wstring data = L"poison";
  const bool read = registry.GetValue(at.hive, at.keyPath, at.valueName, data, view);
  const std::optional<std::wstring> expected = stored ? ExpectedText(*stored) : std::nullopt;
  // A failure injected on the read makes any value unreadable.
  FUZZ_CHECK(read ? expected && data == *expected : data.empty());
  FUZZ_CHECK(data.find(L'\0') == std::wstring::npos);
}

// Runs a listing and what is done with it: it fails only with a registry failure, 0x8007xxxx.
template <class List>
void Listing(List list) {
  const std::optional<long> error = fuzz::ErrorOf(list);
  FUZZ_CHECK(!error || *error < 0);
}

// Walks the key's subtree through the listings, reading every value met; `depth` bounds the walk.
void Walk(CRegistry& registry, FakeRegistry& fake, RegView view, platform::Hive hive, const std::wstring& keyPath,
          int depth) {
  Listing([&] {
    const CKeyedCollection<std::wstring> values = registry.EnumValues(hive, keyPath, view);
    for (const std::wstring& name : values) {
      FUZZ_CHECK(values.Exists(name));
      CheckRead(registry, fake, view, {hive, keyPath, name});
    }
  });
  if (depth == 0) return;
  Listing([&] {
    const CKeyedCollection<std::wstring> keys = registry.EnumKeys(hive, keyPath, view);
    for (const std::wstring& name : keys) {
      FUZZ_CHECK(keys.Exists(name) && !name.empty());
      Walk(registry, fake, view, hive, keyPath.empty() ? name : keyPath + L"\\" + name, depth - 1);
    }
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FakeRegistry& native = fuzz::Machine().registry;
  native.Clear();
  const auto in = [&native](RegView view) -> FakeRegistry& { return view == RegView::kWow32 ? native.Wow32() : native; };
  FuzzedDataProvider input(data, size);
  std::vector<Place> places;
  while (input.remaining_bytes() > 0 && places.size() < 16) {
    const RegView placeView = input.ConsumeBool() ? RegView::kWow32 : RegView::kNative;
    FakeRegistry& fake = in(placeView);
    const Place at{input.PickValueInArray(kHives), fuzz::ConsumeText(input, 128), fuzz::ConsumeText(input, 64),
                   placeView};
    switch (input.ConsumeIntegralInRange(0, 5)) {
      case 0: {
        const std::uint32_t type = input.ConsumeBool() ? input.PickValueInArray(kTypes) : input.ConsumeIntegral<std::uint32_t>();
        const std::string bytes = input.ConsumeRandomLengthString(512);
        fake.SetBytes(at.hive, at.keyPath, at.valueName, type, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        break;
      }
      case 1: fake.SetString(at.hive, at.keyPath, at.valueName, fuzz::ConsumeText(input)); break;
      case 2: fake.CreateKey(at.hive, at.keyPath); break;
      case 3: fake.FailEnum(at.hive, at.keyPath, input.PickValueInArray(kCodes)); break;
      case 4: fake.FailQuery(at.hive, at.keyPath, at.valueName, input.PickValueInArray(kCodes)); break;
      case 5: fake.FailCategories(input.PickValueInArray(kCodes)); break;
    }
    places.push_back(at);
  }

  CRegistry registry;
  for (RegView view : {RegView::kNative, RegView::kWow32}) {
    FakeRegistry& fake = in(view);
    for (const Place& at : places) {
      if (at.view == view) CheckRead(registry, fake, view, at);
    }
    for (platform::Hive hive : kHives) Walk(registry, fake, view, hive, L"", 4);
    // Every value name as a component category: the classes found implement it.
    std::set<std::wstring> categories;
    for (const Place& at : places) {
      if (!categories.insert(qn::FoldKey(at.valueName)).second) continue;
      Listing([&] {
        for (const std::wstring& id : registry.EnumCategoryClasses(at.valueName, view)) {
          FUZZ_CHECK(fake.HasKey(platform::kHkeyClassesRoot,
                                 L"CLSID\\" + id + L"\\Implemented Categories\\" + at.valueName));
        }
      });
    }
  }
  return 0;
}
