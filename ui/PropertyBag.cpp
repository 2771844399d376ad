#include "ui/PropertyBag.h"

#include <limits>

#include "common/Error.h"
#include "common/KeyedCollection.h"
#include "common/TextCodec.h"

namespace ui {
namespace {

// The smallest byte form of a text (its length alone) and of a value (a length or a number).
constexpr std::size_t kMinText = 4;
constexpr std::size_t kMinValue = 4;
// A bag value: name, kind, value. A set entry: name, count of values. A keyed value: key, kind, value.
constexpr std::size_t kMinBagEntry = kMinText + 1 + kMinValue;
constexpr std::size_t kMinSetEntry = kMinText + 4;
constexpr std::size_t kMinKeyedValue = kMinText + 1 + kMinValue;
constexpr std::size_t kHeaderSize = 4 + 2 + 4;

class Writer {
 public:
  void U8(std::uint8_t value) { bytes_.push_back(value); }
  void U16(std::uint16_t value) {
    U8(static_cast<std::uint8_t>(value));
    U8(static_cast<std::uint8_t>(value >> 8));
  }
  void U32(std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) U8(static_cast<std::uint8_t>(value >> shift));
  }
  void Count(std::size_t count) {
    if (count > PropertyBag::kMaxCount) throw CError(err::kOverflow, L"Too many values for a property bag");
    U32(static_cast<std::uint32_t>(count));
  }
  // UTF-16LE, natively with characters beyond the basic plane as surrogate pairs.
  void Text(const std::wstring& text) {
    std::vector<std::uint16_t> units;
    units.reserve(text.size());
    for (wchar_t c : text) {
      auto code = static_cast<std::uint32_t>(c);
      if (code > 0xFFFF) {
        if (code > 0x10FFFF) code = 0xFFFD;
        else {
          code -= 0x10000;
          units.push_back(static_cast<std::uint16_t>(0xD800 + (code >> 10)));
          units.push_back(static_cast<std::uint16_t>(0xDC00 + (code & 0x3FF)));
          continue;
        }
      }
      units.push_back(static_cast<std::uint16_t>(code));
    }
    if (units.size() > std::numeric_limits<std::uint32_t>::max() / 2) {
      throw CError(err::kOverflow, L"A text is too long for a property bag");
    }
    U32(static_cast<std::uint32_t>(units.size() * 2));
    for (std::uint16_t unit : units) U16(unit);
  }
  void Number(std::int32_t value) { U32(static_cast<std::uint32_t>(value)); }
  std::vector<std::uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// Reads the byte form, trusting nothing: every length and count is checked against the bytes left
// before anything is taken or allocated.
class Reader {
 public:
  explicit Reader(const std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

  std::size_t Left() const noexcept { return bytes_.size() - pos_; }
  std::size_t Position() const noexcept { return pos_; }

  [[noreturn]] void Fail(const std::wstring& why, std::size_t at) const {
    throw CError(kInvalidPropertyBag,
                 L"The data is not a property bag: " + why + L" at byte " + std::to_wstring(at) + L".");
  }
  void Need(std::size_t size, const wchar_t* what) const {
    if (Left() < size) Fail(std::wstring(what) + L" is cut short", pos_);
  }
  std::uint8_t U8(const wchar_t* what) {
    Need(1, what);
    return bytes_[pos_++];
  }
  std::uint16_t U16(const wchar_t* what) {
    Need(2, what);
    const auto value = static_cast<std::uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
    pos_ += 2;
    return value;
  }
  std::uint32_t U32(const wchar_t* what) {
    Need(4, what);
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | bytes_[pos_ + static_cast<std::size_t>(i)];
    pos_ += 4;
    return value;
  }
  // A count of items, each of which takes at least `minSize` bytes.
  std::uint32_t Count(std::size_t minSize, const wchar_t* what) {
    const std::size_t at = pos_;
    const std::uint32_t count = U32(what);
    if (count > PropertyBag::kMaxCount || count > Left() / minSize) {
      Fail(std::wstring(what) + L" " + std::to_wstring(count) + L" is more than the bytes can hold", at);
    }
    return count;
  }
  std::wstring Text(const wchar_t* what) {
    const std::size_t at = pos_;
    const std::uint32_t size = U32(what);
    if (size % 2 != 0) Fail(std::wstring(what) + L" has an odd length", at);
    if (size > Left()) Fail(std::wstring(what) + L" is longer than the bytes left", at);
    std::wstring text = qn::FromUtf16Le(bytes_.data() + pos_, size);
    pos_ += size;
    return text;
  }
  std::int32_t Number(const wchar_t* what) { return static_cast<std::int32_t>(U32(what)); }

 private:
  const std::vector<std::uint8_t>& bytes_;
  std::size_t pos_ = 0;
};

// Each name once per level, compared as collection keys are.
class NameCheck {
 public:
  bool Add(const std::wstring& name) {
    if (names_.Exists(name)) return false;
    names_.Add(true, name);
    return true;
  }

 private:
  CKeyedCollection<bool> names_;
};

}  // namespace

void PropertyBag::WriteProperty(const std::wstring& name, const std::wstring& value) { Store(name, value); }

void PropertyBag::WriteProperty(const std::wstring& name, std::int32_t value) { Store(name, value); }

void PropertyBag::WriteProperty(const std::wstring& name, const CProperties& value) {
  ValueSet set;
  set.reserve(value.Count());
  for (const auto& property : value) {
    SetEntry entry{property->Name(), {}};
    const auto& values = property->Values();
    entry.values.reserve(values.Count());
    for (std::size_t i = 1; i <= values.Count(); ++i) entry.values.push_back({values.Key(i), values.Item(i)});
    // CProperties.Add gives each name its value under the key "": a set without it cannot be read back.
    if (entry.values.empty() || !entry.values.front().key.empty()) {
      throw CError(err::kInvalidArgument, L"The value set's \"" + entry.name + L"\" has no value at position 1");
    }
    set.push_back(std::move(entry));
  }
  Store(name, std::move(set));
}

void PropertyBag::Store(const std::wstring& name, Value value) {
  for (Entry& entry : entries_) {
    if (qn::FoldKey(entry.name) == qn::FoldKey(name)) {
      entry.value = std::move(value);
      return;
    }
  }
  entries_.push_back(Entry{name, std::move(value)});
}

const PropertyBag::Value* PropertyBag::Find(const std::wstring& name) const {
  const std::wstring folded = qn::FoldKey(name);
  for (const Entry& entry : entries_) {
    if (qn::FoldKey(entry.name) == folded) return &entry.value;
  }
  return nullptr;
}

std::wstring PropertyBag::ReadProperty(const std::wstring& name, const std::wstring& defaultValue) const {
  const Value* value = Find(name);
  if (value == nullptr) return defaultValue;
  if (const auto* text = std::get_if<std::wstring>(value)) return *text;
  if (const auto* number = std::get_if<std::int32_t>(value)) return std::to_wstring(*number);
  throw CError(kTypeMismatch, L"Type mismatch: \"" + name + L"\" holds a value set, not text");
}

std::int32_t PropertyBag::ReadProperty(const std::wstring& name, std::int32_t defaultValue) const {
  const Value* value = Find(name);
  if (value == nullptr) return defaultValue;
  if (const auto* number = std::get_if<std::int32_t>(value)) return *number;
  throw CError(kTypeMismatch, L"Type mismatch: \"" + name + L"\" does not hold a number");
}

std::shared_ptr<CProperties> PropertyBag::ReadProperty(const std::wstring& name,
                                                       std::shared_ptr<CProperties> defaultValue) const {
  const Value* value = Find(name);
  if (value == nullptr) return defaultValue;
  const auto* set = std::get_if<ValueSet>(value);
  if (set == nullptr) throw CError(kTypeMismatch, L"Type mismatch: \"" + name + L"\" does not hold a value set");
  auto properties = std::make_shared<CProperties>();
  for (const SetEntry& entry : *set) {
    // The byte reader and WriteProperty only keep entries whose first value has the key "".
    properties->Add(entry.name, entry.values.front().value);
    for (std::size_t i = 1; i < entry.values.size(); ++i) {
      properties->Item(entry.name).Values().Add(entry.values[i].value, entry.values[i].key);
    }
  }
  return properties;
}

std::vector<std::uint8_t> PropertyBag::Contents() const {
  Writer out;
  for (std::uint8_t b : kMagic) out.U8(b);
  out.U16(kVersion);
  out.Count(entries_.size());
  for (const Entry& entry : entries_) {
    out.Text(entry.name);
    if (const auto* text = std::get_if<std::wstring>(&entry.value)) {
      out.U8(kText);
      out.Text(*text);
    } else if (const auto* number = std::get_if<std::int32_t>(&entry.value)) {
      out.U8(kNumber);
      out.Number(*number);
    } else {
      const ValueSet& set = std::get<ValueSet>(entry.value);
      out.U8(kProperties);
      out.Count(set.size());
      for (const SetEntry& property : set) {
        out.Text(property.name);
        out.Count(property.values.size());
        for (const KeyedValue& keyed : property.values) {
          out.Text(keyed.key);
          if (const auto* t = std::get_if<std::wstring>(&keyed.value)) {
            out.U8(kText);
            out.Text(*t);
          } else {
            out.U8(kNumber);
            out.Number(std::get<std::int32_t>(keyed.value));
          }
        }
      }
    }
  }
  return out.Take();
}

void PropertyBag::SetContents(const std::vector<std::uint8_t>& bytes) {
  Reader in(bytes);
  if (bytes.size() < kHeaderSize) in.Fail(L"the header is cut short", 0);
  for (std::uint8_t b : kMagic) {
    if (in.U8(L"the header") != b) in.Fail(L"the first bytes are not \"WDPB\"", 0);
  }
  const std::uint16_t version = in.U16(L"the version");
  if (version != kVersion) in.Fail(L"version " + std::to_wstring(version) + L" is not known", 4);

  std::vector<Entry> entries;
  NameCheck names;
  const std::uint32_t count = in.Count(kMinBagEntry, L"the count of values");
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t nameAt = in.Position();
    std::wstring name = in.Text(L"a name");
    if (!names.Add(name)) in.Fail(L"the name \"" + name + L"\" stands twice", nameAt);
    const std::size_t kindAt = in.Position();
    const std::uint8_t kind = in.U8(L"a kind");
    if (kind == kText) {
      entries.push_back(Entry{std::move(name), in.Text(L"a text")});
    } else if (kind == kNumber) {
      entries.push_back(Entry{std::move(name), in.Number(L"a number")});
    } else if (kind == kProperties) {
      ValueSet set;
      NameCheck setNames;
      const std::uint32_t properties = in.Count(kMinSetEntry, L"the count of a value set");
      for (std::uint32_t p = 0; p < properties; ++p) {
        const std::size_t propertyAt = in.Position();
        SetEntry entry{in.Text(L"a name in a value set"), {}};
        if (!setNames.Add(entry.name)) in.Fail(L"the name \"" + entry.name + L"\" stands twice in a value set", propertyAt);
        const std::size_t valuesAt = in.Position();
        const std::uint32_t values = in.Count(kMinKeyedValue, L"the count of values under a name");
        if (values == 0) in.Fail(L"a name of a value set has no value", valuesAt);
        NameCheck keys;
        for (std::uint32_t v = 0; v < values; ++v) {
          const std::size_t keyAt = in.Position();
          std::wstring key = in.Text(L"a key");
          if ((v == 0) != key.empty()) in.Fail(L"only the first value of a name has the empty key", keyAt);
          if (!keys.Add(key)) in.Fail(L"the key \"" + key + L"\" stands twice", keyAt);
          const std::size_t valueKindAt = in.Position();
          const std::uint8_t valueKind = in.U8(L"a kind");
          if (valueKind == kText) {
            entry.values.push_back({std::move(key), in.Text(L"a text")});
          } else if (valueKind == kNumber) {
            entry.values.push_back({std::move(key), in.Number(L"a number")});
          } else {
            in.Fail(L"kind " + std::to_wstring(valueKind) + L" is not a value of a value set", valueKindAt);
          }
        }
        set.push_back(std::move(entry));
      }
      entries.push_back(Entry{std::move(name), std::move(set)});
    } else {
      in.Fail(L"kind " + std::to_wstring(kind) + L" is not known", kindAt);
    }
  }
  if (in.Left() != 0) in.Fail(std::to_wstring(in.Left()) + L" bytes follow the last value", in.Position());
  entries_ = std::move(entries);
}

}  // namespace ui
