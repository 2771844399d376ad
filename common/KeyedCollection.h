#pragma once
#include <cstddef>
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
  void Add(T item, const std::wstring& key) {
    std::wstring folded = qn::FoldKey(key);
    if (index_.count(folded) != 0) {
      throw CError(err::kDuplicateKey, L"This key is already associated with an element of this collection");
    }
    items_.push_back(Entry{key, std::move(item)});
    index_.emplace(std::move(folded), items_.size() - 1);
  }

  bool Exists(const std::wstring& key) const { return index_.count(qn::FoldKey(key)) != 0; }

  // By key: throws CError(err::kInvalidArgument) for a missing key.
  const T& Item(const std::wstring& key) const { return items_[Find(key)].item; }
  T& Item(const std::wstring& key) { return items_[Find(key)].item; }
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
  std::size_t Find(const std::wstring& key) const {
    auto it = index_.find(qn::FoldKey(key));
    if (it == index_.end()) throw CError(err::kInvalidArgument, L"Invalid procedure call or argument");
    return it->second;
  }
  std::size_t Check(std::size_t position) const {
    if (position < 1 || position > items_.size()) throw CError(err::kSubscriptOutOfRange, L"Subscript out of range");
    return position - 1;
  }

  std::vector<Entry> items_;
  std::unordered_map<std::wstring, std::size_t> index_;
};
