// The toolkit's property bag, both ways. Read: any bytes are taken as a bag or refused with error 321
// leaving the bag as it was; what is taken writes back to bytes that read again to the same bag.
// Write: any names and values, value sets included, give bytes that read back to the same values.
// The first byte of the input chooses the way.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "common/Error.h"
#include "common/Items.h"
#include "common/KeyedCollection.h"
#include "tests/fuzz/FuzzSupport.h"
#include "ui/PropertyBag.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The names that the program's bags carry: requests and removal scripts.
const wchar_t* const kNames[] = {L"w", L"b", L"pcname", L"os", L"cpu", L"minappversion", L"cat", L"id",
                                 L"dat", L"state", L"reason", L"log"};

// A value of the bag as each of the three reads sees it, or the error the read gives.
struct Reading {
  std::variant<std::wstring, long> text;
  std::variant<std::int32_t, long> number;
  std::variant<Bytes, long> set;  // a value set as the byte form of a bag holding it alone
  bool operator==(const Reading&) const = default;
};

Reading Read(const ui::PropertyBag& bag, const std::wstring& name) {
  Reading reading;
  if (!bag.Exists(name)) {  // the defaults, without asking for each
    FUZZ_CHECK(bag.ReadProperty(name, L"\uFFFF") == L"\uFFFF");
    reading.text = L"\uFFFF";
    reading.number = -1;
    reading.set = ui::PropertyBag().Contents();
    return reading;
  }
  try {
    reading.text = bag.ReadProperty(name, L"\uFFFF");
  } catch (const CError& e) {
    reading.text = e.Number();
  }
  try {
    reading.number = bag.ReadProperty(name, std::int32_t{-1});
  } catch (const CError& e) {
    reading.number = e.Number();
  }
  try {
    ui::PropertyBag alone;
    if (auto set = bag.ReadProperty(name, std::shared_ptr<CProperties>())) alone.WriteProperty(L"s", *set);
    reading.set = alone.Contents();
  } catch (const CError& e) {
    reading.set = e.Number();
  }
  for (const auto* error : {std::get_if<long>(&reading.text), std::get_if<long>(&reading.number),
                            std::get_if<long>(&reading.set)}) {
    FUZZ_CHECK(error == nullptr || *error == ui::kTypeMismatch);
  }
  return reading;
}

void ReadBytes(const Bytes& bytes) {
  ui::PropertyBag bag;
  bag.WriteProperty(L"kept", L"as it was");
  const Bytes before = bag.Contents();
  try {
    bag.SetContents(bytes);
  } catch (const CError& e) {
    FUZZ_CHECK(e.Number() == ui::kInvalidPropertyBag);
    FUZZ_CHECK(bag.Contents() == before);
    return;
  }
  const Bytes contents = bag.Contents();
  ui::PropertyBag again;
  again.SetContents(contents);
  FUZZ_CHECK(again.Count() == bag.Count() && again.Contents() == contents);
  for (const wchar_t* name : kNames) FUZZ_CHECK(Read(again, name) == Read(bag, name));
}

// A text as the bag keeps it. Natively a wchar_t is a whole character: the byte form's UTF-16 turns two
// units that make a surrogate pair into one character; a surrogate without its partner stays.
std::wstring Kept(const std::wstring& text) {
  std::wstring kept;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<std::uint32_t>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<std::uint32_t>(text[i + 1]) : 0u;
    if (c >= 0xD800 && c <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
      kept += static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00));
      ++i;
    } else {
      kept += text[i];
    }
  }
  return kept;
}

// A name: UTF-8 only, so that no two names written apart become one when a surrogate pair is joined.
std::wstring ConsumeName(FuzzedDataProvider& input) {
  return qn::FromUtf8(input.ConsumeRandomLengthString(24));
}

PropertyValue KeptValue(const PropertyValue& value) {
  if (const auto* text = std::get_if<std::wstring>(&value)) return Kept(*text);
  return value;
}

PropertyValue ConsumeValue(FuzzedDataProvider& input) {
  if (input.ConsumeBool()) return input.ConsumeIntegral<std::int32_t>();
  return fuzz::ConsumeText(input, 128);
}

void WriteValues(FuzzedDataProvider& input) {
  ui::PropertyBag bag;
  // What each name must read back as, by its folded form: the name first written and the last value.
  std::map<std::wstring, std::pair<std::wstring, Reading>> expected;
  while (input.remaining_bytes() > 0 && expected.size() < 12) {
    const std::wstring name = ConsumeName(input);
    ui::PropertyBag model;  // the value alone in a bag of its own, read the same way
    switch (input.ConsumeIntegralInRange(0, 2)) {
      case 0: {
        const std::wstring text = fuzz::ConsumeText(input, 128);
        bag.WriteProperty(name, text);
        model.WriteProperty(name, Kept(text));
        break;
      }
      case 1: {
        const std::int32_t number = input.ConsumeIntegral<std::int32_t>();
        bag.WriteProperty(name, number);
        model.WriteProperty(name, number);
        break;
      }
      case 2: {
        CProperties set, kept;  // as written, and with its texts as the bag keeps them
        for (int count = input.ConsumeIntegralInRange(0, 3); count > 0; --count) {
          const std::wstring property = ConsumeName(input);
          try {
            PropertyValue value = ConsumeValue(input);
            set.Add(property, value);
            kept.Add(property, KeptValue(value));
            for (int more = input.ConsumeIntegralInRange(0, 2); more > 0; --more) {
              const std::wstring key = ConsumeName(input) + L"k";
              value = ConsumeValue(input);
              set.Item(property).Values().Add(value, key);
              kept.Item(property).Values().Add(KeptValue(value), key);
            }
          } catch (const CError& e) {
            FUZZ_CHECK(e.Number() == err::kDuplicateKey);  // a name or key twice: the set refuses it
          }
        }
        bag.WriteProperty(name, set);
        model.WriteProperty(name, kept);
        break;
      }
    }
    auto [it, added] = expected.try_emplace(qn::FoldKey(name), name, Reading{});
    it->second.second = Read(model, name);
  }

  ui::PropertyBag back;
  back.SetContents(bag.Contents());
  FUZZ_CHECK(back.Count() == expected.size());
  for (const auto& [folded, entry] : expected) FUZZ_CHECK(Read(back, entry.first) == entry.second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if ((data[0] & 1) == 0) {
    ReadBytes(Bytes(data + 1, data + size));
  } else {
    FuzzedDataProvider input(data + 1, size - 1);
    WriteValues(input);
  }
  return 0;
}
