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
  if (!bag.Exists(name)) {  // the defaults, without asking for each
    FUZZ_CHECK(bag.ReadProperty(name, L"\uFFFF") == L"\uFFFF");
    return {L"\uFFFF", -1, ui::PropertyBag().Contents()};
  }
  Reading reading;
  reading.text = fuzz::Outcome([&] { return bag.ReadProperty(name, L"\uFFFF"); });
  reading.number = fuzz::Outcome([&] { return bag.ReadProperty(name, std::int32_t{-1}); });
  reading.set = fuzz::Outcome([&] {
    ui::PropertyBag alone;
    if (auto set = bag.ReadProperty(name, std::shared_ptr<CProperties>())) alone.WriteProperty(L"s", *set);
    return alone.Contents();
  });
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
  if (const auto error = fuzz::ErrorOf([&] { bag.SetContents(bytes); })) {
    FUZZ_CHECK(*error == ui::kInvalidPropertyBag && bag.Contents() == before);
    return;
  }
  const Bytes contents = bag.Contents();
  ui::PropertyBag again;
  again.SetContents(contents);
  FUZZ_CHECK(again.Count() == bag.Count() && again.Contents() == contents);
  for (const wchar_t* name : kNames) FUZZ_CHECK(Read(again, name) == Read(bag, name));
}

// A value as the bag keeps it. Natively a wchar_t is a whole character: the byte form's UTF-16 turns two
// units of a text that make a surrogate pair into one character; a surrogate without its partner stays.
PropertyValue Kept(const PropertyValue& value) {
  const auto* text = std::get_if<std::wstring>(&value);
  if (text == nullptr) return value;
  std::wstring kept;
  fuzz::EachCharacter(*text, [&kept](std::uint32_t c) { kept += static_cast<wchar_t>(c); });
  return kept;
}

// A name: UTF-8 only, so that no two names written apart become one when a surrogate pair is joined.
std::wstring ConsumeName(FuzzedDataProvider& input) {
  return qn::FromUtf8(input.ConsumeRandomLengthString(24));
}

PropertyValue ConsumeValue(FuzzedDataProvider& input) {
  if (input.ConsumeBool()) return input.ConsumeIntegral<std::int32_t>();
  return fuzz::ConsumeText(input, 128);
}

void Write(ui::PropertyBag& bag, const std::wstring& name, const PropertyValue& value) {
  std::visit([&](const auto& v) { bag.WriteProperty(name, v); }, value);
}

void WriteValues(FuzzedDataProvider& input) {
  ui::PropertyBag bag;
  // What each name must read back as, by its folded form: the name first written and the last value.
  std::map<std::wstring, std::pair<std::wstring, Reading>> expected;
  while (input.remaining_bytes() > 0 && expected.size() < 12) {
    const std::wstring name = ConsumeName(input);
    ui::PropertyBag model;  // the value alone in a bag of its own, read the same way
    if (const int kind = input.ConsumeIntegralInRange(0, 2); kind < 2) {
      const PropertyValue value =
          kind == 0 ? PropertyValue(fuzz::ConsumeText(input, 128)) : input.ConsumeIntegral<std::int32_t>();
      Write(bag, name, value);
      Write(model, name, Kept(value));
    } else {
      CProperties set, kept;  // as written, and with its texts as the bag keeps them
      for (int count = input.ConsumeIntegralInRange(0, 3); count > 0; --count) {
        const std::wstring property = ConsumeName(input);
        const auto error = fuzz::ErrorOf([&] {
          PropertyValue value = ConsumeValue(input);
          set.Add(property, value);
          kept.Add(property, Kept(value));
          for (int more = input.ConsumeIntegralInRange(0, 2); more > 0; --more) {
            const std::wstring key = ConsumeName(input) + L"k";
            value = ConsumeValue(input);
            set.Item(property).Values().Add(value, key);
            kept.Item(property).Values().Add(Kept(value), key);
          }
        });
        FUZZ_CHECK(!error || *error == err::kDuplicateKey);  // a name or key twice: the set refuses it
      }
      bag.WriteProperty(name, set);
      model.WriteProperty(name, kept);
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
