#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "common/Items.h"

namespace ui {

// Error of SetContents for bytes that are not a property bag ("Invalid file format").
constexpr long kInvalidPropertyBag = 321;
// Error of ReadProperty when the value stored under the name is of another kind ("Type mismatch").
constexpr long kTypeMismatch = 13;

// Named values serialised to bytes and back: text, 32-bit numbers and CProperties value sets, each set
// persisted as one value with all its named values. Names compare without regard to letter case, as
// collection keys do; writing a name again replaces its value in place. The byte form is described in
// docs/formats.md ("The property bag"): little-endian, length-prefixed, texts in UTF-16LE.
class PropertyBag {
 public:
  // The bytes' first four bytes and the one version this bag writes and reads.
  static constexpr std::uint8_t kMagic[4] = {'W', 'D', 'P', 'B'};
  static constexpr std::uint16_t kVersion = 1;
  // Kinds of value, as the byte form tags them.
  static constexpr std::uint8_t kText = 1;
  static constexpr std::uint8_t kNumber = 2;
  static constexpr std::uint8_t kProperties = 3;
  // At most this many values in one bag or one value set, and values under one name of a set.
  static constexpr std::uint32_t kMaxCount = 1u << 20;

  // Stores a value under `name`. A value set is copied as it stands now (later changes to `value` do
  // not reach the bag). Nothing changes on failure.
  void WriteProperty(const std::wstring& name, const std::wstring& value);
  void WriteProperty(const std::wstring& name, const wchar_t* value) { WriteProperty(name, std::wstring(value)); }
  void WriteProperty(const std::wstring& name, std::int32_t value);
  void WriteProperty(const std::wstring& name, const CProperties& value);

  // The value stored under `name`, or `defaultValue` when there is none. Text reads a number as its
  // decimal digits; a number cannot be read from text, nor either from a value set: CError
  // kTypeMismatch. A value set is read as a new CProperties.
  std::wstring ReadProperty(const std::wstring& name, const std::wstring& defaultValue) const;
  std::wstring ReadProperty(const std::wstring& name, const wchar_t* defaultValue) const {
    return ReadProperty(name, std::wstring(defaultValue));
  }
  std::int32_t ReadProperty(const std::wstring& name, std::int32_t defaultValue) const;
  std::shared_ptr<CProperties> ReadProperty(const std::wstring& name,
                                            std::shared_ptr<CProperties> defaultValue) const;

  bool Exists(const std::wstring& name) const { return Find(name) != nullptr; }
  std::size_t Count() const noexcept { return entries_.size(); }

  // The byte form of every value, in the order first written.
  std::vector<std::uint8_t> Contents() const;
  // Takes `bytes` as the bag's contents, replacing every value. Bytes are untrusted: anything that is
  // not the byte form of a bag (wrong magic or version, a length or count beyond the bytes left, an
  // unknown kind, a name twice, bytes left over) is CError kInvalidPropertyBag naming the byte
  // position, and the bag is unchanged.
  void SetContents(const std::vector<std::uint8_t>& bytes);

 private:
  // One value under its key, as a value set holds it.
  struct KeyedValue {
    std::wstring key;
    PropertyValue value;
  };
  // One named value of a value set, with every value it holds (position 1 first).
  struct SetEntry {
    std::wstring name;
    std::vector<KeyedValue> values;
  };
  using ValueSet = std::vector<SetEntry>;
  using Value = std::variant<std::wstring, std::int32_t, ValueSet>;
  struct Entry {
    std::wstring name;
    Value value;
  };

  void Store(const std::wstring& name, Value value);
  const Value* Find(const std::wstring& name) const;

  std::vector<Entry> entries_;
};

}  // namespace ui
