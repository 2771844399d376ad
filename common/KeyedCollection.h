#pragma once
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "platform/KeyFold.h"

namespace qn {
// The key rule of CKeyedCollection: keys compare without regard to letter case, as Windows compares
// names (platform::FoldKey). Returns the folded form of a key.
inline std::wstring FoldKey(std::wstring_view key) { return platform::FoldKey(key); }

// One character of the folded form; ASCII without leaving the caller.
inline wchar_t FoldKeyChar(wchar_t c) noexcept {
  if (static_cast<std::make_unsigned_t<wchar_t>>(c) < 0x80) {
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
  }
  return platform::FoldKeyChar(c);
}

// The program's key forms. A number (a size, a checksum, a process id) is kept under "_" and its decimal
// digits, "-" first when it is negative ("_2048", "_-1"); a file of a set of files under "_" and its
// full path.
inline std::wstring NumberKey(std::int64_t n) {
  // Digits written backwards into a small buffer: this runs for every table entry and every lookup.
  wchar_t buffer[22];
  wchar_t* const end = buffer + sizeof buffer / sizeof buffer[0];
  wchar_t* p = end;
  // Negated as unsigned, so that the smallest number has its digits too.
  std::uint64_t magnitude = n < 0 ? 0u - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n);
  do {
    *--p = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (n < 0) *--p = L'-';
  *--p = L'_';
  return std::wstring(p, end);
}
inline std::wstring FileKey(const std::wstring& path) { return L"_" + path; }

namespace keyed_detail {
// A key as a caller passes it, not yet folded: looked up without building its folded copy.
struct UnfoldedKey {
  std::wstring_view text;
};

// Hash and equality of the index, whose keys are stored folded. An unfolded key hashes and compares
// as its folded form would. The hash is deliberately not noexcept: the standard library then keeps each
// entry's hash beside it instead of hashing stored keys again while it walks a bucket.
struct FoldedHash {
  using is_transparent = void;
  // Folded characters packed into 64-bit words, one multiply per word (a bijection of the state for
  // each word), and a final mix so that the low bits the buckets use depend on every character.
  template <class Fold>
  static std::size_t Hash(std::wstring_view text, Fold fold) {
    constexpr std::size_t kBits = sizeof(wchar_t) * 8;
    constexpr std::size_t kPerWord = 64 / kBits;
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ text.size();
    std::size_t i = 0;
    while (i < text.size()) {
      std::uint64_t word = 0;
      for (std::size_t j = 0; j < kPerWord && i < text.size(); ++j, ++i) {
        word |= static_cast<std::uint64_t>(static_cast<std::make_unsigned_t<wchar_t>>(fold(text[i]))) << (j * kBits);
      }
      h = (h ^ word) * 0xFF51AFD7ED558CCDull;
    }
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return static_cast<std::size_t>(h);
  }
  std::size_t operator()(const std::wstring& folded) const {
    return Hash(folded, [](wchar_t c) { return c; });
  }
  std::size_t operator()(UnfoldedKey key) const { return Hash(key.text, FoldKeyChar); }
};

struct FoldedEqual {
  using is_transparent = void;
  bool operator()(const std::wstring& a, const std::wstring& b) const noexcept { return a == b; }
  bool operator()(UnfoldedKey key, const std::wstring& folded) const noexcept {
    if (key.text.size() != folded.size()) return false;
    for (std::size_t i = 0; i < folded.size(); ++i) {
      if (FoldKeyChar(key.text[i]) != folded[i]) return false;
    }
    return true;
  }
  bool operator()(const std::wstring& folded, UnfoldedKey key) const noexcept { return (*this)(key, folded); }
};
}  // namespace keyed_detail
}  // namespace qn

// An ordered collection of items keyed by text. Keys compare without regard to letter case; the empty
// key is a key like any other. Items are enumerated in the order added; Exists and lookup by key are
// O(1). Positions count from 1.
template <class T>
class CKeyedCollection {
  struct Entry {
    std::wstring key;
    T item;
  };

 public:
  using value_type = T;

  std::size_t Count() const noexcept { return items_.size(); }

  // Appends `item` under `key`. Throws CError(err::kDuplicateKey) when the key is present; the
  // collection is then unchanged.
  void Add(T item, std::wstring key) {
    std::wstring folded(key);
    for (wchar_t& c : folded) c = qn::FoldKeyChar(c);
    auto [slot, added] = index_.try_emplace(std::move(folded), items_.size());
    if (!added) throw CError(err::kDuplicateKey, L"This key is already associated with an element of this collection");
    try {
      items_.push_back(Entry{std::move(key), std::move(item)});
    } catch (...) {
      index_.erase(slot);
      throw;
    }
  }

  // Makes room for `count` items in all, so that adding up to that many allocates nothing further for
  // the collection's own tables. Changes nothing else.
  void Reserve(std::size_t count) {
    items_.reserve(count);
    index_.reserve(count);
  }

  bool Exists(const std::wstring& key) const { return index_.count(Unfolded(key)) != 0; }

  // The item under `key`, or null when the key is not present: Exists and Item in one lookup. The
  // pointer holds until the next Add.
  const T* Find(const std::wstring& key) const {
    auto it = index_.find(Unfolded(key));
    return it == index_.end() ? nullptr : &items_[it->second].item;
  }

  // By key: throws CError(err::kInvalidArgument) for a missing key.
  const T& Item(const std::wstring& key) const { return items_[PositionOf(key)].item; }
  T& Item(const std::wstring& key) { return items_[PositionOf(key)].item; }
  // By 1-based position: throws CError(err::kSubscriptOutOfRange) outside 1..Count.
  const T& Item(std::size_t position) const { return items_[Check(position)].item; }
  T& Item(std::size_t position) { return items_[Check(position)].item; }
  // The key as it was added, by 1-based position.
  const std::wstring& Key(std::size_t position) const { return items_[Check(position)].key; }

  // Enumeration yields the items in the order added.
  class const_iterator {
   public:
    using difference_type = std::ptrdiff_t;
    using value_type = T;
    const_iterator() = default;
    explicit const_iterator(typename std::vector<Entry>::const_iterator it) : it_(it) {}
    const T& operator*() const { return it_->item; }
    const T* operator->() const { return &it_->item; }
    const_iterator& operator++() { ++it_; return *this; }
    const_iterator operator++(int) { auto old = *this; ++it_; return old; }
    bool operator==(const const_iterator& other) const { return it_ == other.it_; }

   private:
    typename std::vector<Entry>::const_iterator it_;
  };
  const_iterator begin() const { return const_iterator(items_.begin()); }
  const_iterator end() const { return const_iterator(items_.end()); }

 private:
  std::size_t PositionOf(const std::wstring& key) const {
    auto it = index_.find(Unfolded(key));
    if (it == index_.end()) throw CError(err::kInvalidArgument, L"Invalid procedure call or argument");
    return it->second;
  }
  std::size_t Check(std::size_t position) const {
    if (position < 1 || position > items_.size()) throw CError(err::kSubscriptOutOfRange, L"Subscript out of range");
    return position - 1;
  }

  static qn::keyed_detail::UnfoldedKey Unfolded(const std::wstring& key) noexcept { return {key}; }

  std::vector<Entry> items_;
  // Folded key -> position in items_ (from 0).
  std::unordered_map<std::wstring, std::size_t, qn::keyed_detail::FoldedHash, qn::keyed_detail::FoldedEqual> index_;
};
