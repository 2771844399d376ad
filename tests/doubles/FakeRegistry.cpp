#include "tests/doubles/FakeRegistry.h"

#include <algorithm>

#include "platform/KeyFold.h"

namespace platform {

struct FakeRegistry::Key {
  std::wstring name;
  std::vector<std::unique_ptr<Key>> children;             // in creation order
  std::vector<std::pair<std::wstring, RegValue>> values;  // in creation order

  Key* Child(const std::wstring& childName) const {
    const std::wstring folded = platform::FoldKey(childName);
    for (const auto& child : children) {
      if (platform::FoldKey(child->name) == folded) return child.get();
    }
    return nullptr;
  }
  std::vector<std::pair<std::wstring, RegValue>>::iterator FindValue(const std::wstring& valueName) {
    const std::wstring folded = platform::FoldKey(valueName);
    return std::find_if(values.begin(), values.end(),
                        [&](const auto& value) { return platform::FoldKey(value.first) == folded; });
  }
};

namespace {

std::vector<std::wstring> SplitPath(const std::wstring& keyPath) {
  std::vector<std::wstring> parts;
  std::wstring part;
  for (wchar_t c : keyPath) {
    if (c == L'\\') {
      if (!part.empty()) parts.push_back(std::move(part));
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(std::move(part));
  return parts;
}

std::wstring JoinFolded(const std::wstring& keyPath) {
  std::wstring joined;
  for (const auto& part : SplitPath(keyPath)) {
    if (!joined.empty()) joined += L'\\';
    joined += platform::FoldKey(part);
  }
  return joined;
}

std::vector<std::uint8_t> Utf16Bytes(const std::wstring& text, bool withNul) {
  std::vector<std::uint8_t> bytes;
  auto put = [&bytes](std::uint32_t unit) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>((unit >> 8) & 0xFF));
  };
  for (wchar_t ch : text) {
    auto c = static_cast<std::uint32_t>(ch);
    if (c >= 0x10000) {  // 32-bit wchar_t: write a surrogate pair
      c -= 0x10000;
      put(0xD800 + (c >> 10));
      put(0xDC00 + (c & 0x3FF));
    } else {
      put(c);
    }
  }
  if (withNul) put(0);
  return bytes;
}

std::wstring FailureKey(Hive hive, const std::wstring& keyPath, const std::wstring& valueName = L"") {
  return std::to_wstring(hive) + L"|" + JoinFolded(keyPath) + L"|" + platform::FoldKey(valueName);
}

// The code a failure set with FailEnum, FailQuery or FailWrite gives; kErrorSuccess when none is set.
long FailureIn(const std::map<std::wstring, long>& failures, Hive hive, const std::wstring& keyPath,
               const std::wstring& valueName = L"") {
  auto it = failures.find(FailureKey(hive, keyPath, valueName));
  return it == failures.end() ? kErrorSuccess : it->second;
}

// Whether `changes` hold a change of `kind` to that key (and value; "" for a key).
bool Recorded(const std::vector<RegChange>& changes, RegChangeKind kind, Hive hive, const std::wstring& keyPath,
              const std::wstring& valueName) {
  const std::wstring key = JoinFolded(keyPath), name = platform::FoldKey(valueName);
  return std::any_of(changes.begin(), changes.end(), [&](const RegChange& change) {
    return change.kind == kind && change.hive == hive && JoinFolded(change.keyPath) == key &&
           platform::FoldKey(change.valueName) == name;
  });
}

}  // namespace

FakeRegistry::FakeRegistry() = default;
FakeRegistry::~FakeRegistry() = default;

FakeRegistry* FakeRegistry::SharedOwner(Hive hive, const std::wstring& keyPath) const {
  if (native_ == nullptr) return nullptr;
  const std::wstring path = JoinFolded(keyPath);
  for (const auto& [sharedHive, shared] : shared_) {
    if (sharedHive == hive && path.compare(0, shared.size(), shared) == 0 &&
        (path.size() == shared.size() || path[shared.size()] == L'\\')) {
      return native_;
    }
  }
  return nullptr;
}

FakeRegistry::Key* FakeRegistry::Find(Hive hive, const std::wstring& keyPath) const {
  if (FakeRegistry* owner = SharedOwner(hive, keyPath)) return owner->Find(hive, keyPath);
  auto it = hives_.find(hive);
  if (it == hives_.end()) return nullptr;
  Key* key = it->second.get();
  for (const auto& part : SplitPath(keyPath)) {
    key = key->Child(part);
    if (key == nullptr) return nullptr;
  }
  return key;
}

FakeRegistry::Key* FakeRegistry::Create(Hive hive, const std::wstring& keyPath) {
  if (FakeRegistry* owner = SharedOwner(hive, keyPath)) return owner->Create(hive, keyPath);
  auto& root = hives_[hive];
  if (!root) root = std::make_unique<Key>();
  Key* key = root.get();
  for (const auto& part : SplitPath(keyPath)) {
    Key* child = key->Child(part);
    if (child == nullptr) {
      key->children.push_back(std::make_unique<Key>());
      child = key->children.back().get();
      child->name = part;
    }
    key = child;
  }
  return key;
}

void FakeRegistry::Store(Hive hive, const std::wstring& keyPath, const std::wstring& valueName, RegValue value) {
  Key* key = Create(hive, keyPath);
  auto existing = key->FindValue(valueName);
  if (existing != key->values.end()) {
    existing->second = std::move(value);
  } else {
    key->values.emplace_back(valueName, std::move(value));
  }
}

void FakeRegistry::CreateKey(Hive hive, const std::wstring& keyPath) { Create(hive, keyPath); }

void FakeRegistry::SetString(Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                             const std::wstring& text) {
  Store(hive, keyPath, valueName, RegValue{kRegSz, Utf16Bytes(text, true)});
}

void FakeRegistry::SetExpandString(Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                                   const std::wstring& text) {
  Store(hive, keyPath, valueName, RegValue{kRegExpandSz, Utf16Bytes(text, true)});
}

void FakeRegistry::SetStringNoNul(Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                                  const std::wstring& text, std::uint32_t type) {
  Store(hive, keyPath, valueName, RegValue{type, Utf16Bytes(text, false)});
}

void FakeRegistry::SetMultiString(Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                                  const std::vector<std::wstring>& texts) {
  std::vector<std::uint8_t> bytes;
  for (const auto& text : texts) {
    auto part = Utf16Bytes(text, true);
    bytes.insert(bytes.end(), part.begin(), part.end());
  }
  bytes.push_back(0);
  bytes.push_back(0);
  Store(hive, keyPath, valueName, RegValue{kRegMultiSz, std::move(bytes)});
}

void FakeRegistry::SetDword(Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                            std::uint32_t number) {
  std::vector<std::uint8_t> bytes{static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
                                  static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
  Store(hive, keyPath, valueName, RegValue{kRegDword, std::move(bytes)});
}

void FakeRegistry::SetBytes(Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                            std::uint32_t type, std::vector<std::uint8_t> bytes) {
  Store(hive, keyPath, valueName, RegValue{type, std::move(bytes)});
}

void FakeRegistry::Clear() {
  hives_.clear();
  enumFailures_.clear();
  queryFailures_.clear();
  writeFailures_.clear();
  categoryFailure_ = kErrorSuccess;
  changes_.clear();
  shared_.clear();
  if (wow32_) wow32_->Clear();
}

FakeRegistry& FakeRegistry::Wow32() {
  if (native_ != nullptr) return *this;
  if (!wow32_) {
    wow32_ = std::make_unique<FakeRegistry>();
    wow32_->native_ = this;
  }
  return *wow32_;
}

void FakeRegistry::ShareKey(Hive hive, const std::wstring& keyPath) {
  Wow32().shared_.emplace_back(hive, JoinFolded(keyPath));
}

IRegistry& FakeRegistry::View(RegView view) {
  if (view == RegView::kWow32) return Wow32();
  return native_ != nullptr ? *native_ : *this;
}

void FakeRegistry::FailEnum(Hive hive, const std::wstring& keyPath, long code) {
  enumFailures_[FailureKey(hive, keyPath)] = code;
}

void FakeRegistry::FailQuery(Hive hive, const std::wstring& keyPath, const std::wstring& valueName, long code) {
  queryFailures_[FailureKey(hive, keyPath, valueName)] = code;
}

void FakeRegistry::FailWrite(Hive hive, const std::wstring& keyPath, long code) {
  writeFailures_[FailureKey(hive, keyPath)] = code;
}

void FakeRegistry::FailCategories(long code) { categoryFailure_ = code; }

bool FakeRegistry::HasKey(Hive hive, const std::wstring& keyPath) const { return Find(hive, keyPath) != nullptr; }

bool FakeRegistry::HasValue(Hive hive, const std::wstring& keyPath, const std::wstring& valueName) const {
  return Value(hive, keyPath, valueName).has_value();
}

std::optional<RegValue> FakeRegistry::Value(Hive hive, const std::wstring& keyPath,
                                            const std::wstring& valueName) const {
  Key* key = Find(hive, keyPath);
  if (key == nullptr) return std::nullopt;
  auto value = key->FindValue(valueName);
  if (value == key->values.end()) return std::nullopt;
  return value->second;
}

std::wstring FakeRegistry::StringValue(Hive hive, const std::wstring& keyPath, const std::wstring& valueName) const {
  auto value = Value(hive, keyPath, valueName);
  if (!value || (value->type != kRegSz && value->type != kRegExpandSz)) return L"";
  std::wstring text;
  for (std::size_t i = 0; i + 1 < value->data.size(); i += 2) {
    const wchar_t c = static_cast<wchar_t>(value->data[i] | (value->data[i + 1] << 8));
    if (c == 0) break;
    text += c;
  }
  return text;
}

bool FakeRegistry::WasKeyDeleted(Hive hive, const std::wstring& keyPath) const {
  return Recorded(changes_, RegChangeKind::kDeleteKey, hive, keyPath, L"");
}

bool FakeRegistry::WasValueDeleted(Hive hive, const std::wstring& keyPath, const std::wstring& valueName) const {
  return Recorded(changes_, RegChangeKind::kDeleteValue, hive, keyPath, valueName);
}

long FakeRegistry::QueryValue(Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                              RegValue& value) {
  if (long code = FailureIn(queryFailures_, hive, keyPath, valueName)) return code;
  auto stored = Value(hive, keyPath, valueName);
  if (!stored) return kErrorFileNotFound;
  value = std::move(*stored);
  return kErrorSuccess;
}

long FakeRegistry::SetValue(Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                            const RegValue& value) {
  if (long code = FailureIn(writeFailures_, hive, keyPath)) return code;
  Store(hive, keyPath, valueName, value);
  changes_.push_back(RegChange{RegChangeKind::kSetValue, hive, keyPath, valueName, value});
  return kErrorSuccess;
}

long FakeRegistry::DeleteValue(Hive hive, const std::wstring& keyPath, const std::wstring& valueName) {
  if (long code = FailureIn(writeFailures_, hive, keyPath)) return code;
  Key* key = Find(hive, keyPath);
  if (key == nullptr) return kErrorFileNotFound;
  auto it = key->FindValue(valueName);
  if (it == key->values.end()) return kErrorFileNotFound;
  key->values.erase(it);
  changes_.push_back(RegChange{RegChangeKind::kDeleteValue, hive, keyPath, valueName, {}});
  return kErrorSuccess;
}

long FakeRegistry::Enum(Hive hive, const std::wstring& keyPath, bool values, std::vector<std::wstring>& names) const {
  names.clear();
  if (long code = FailureIn(enumFailures_, hive, keyPath)) return code;
  Key* key = Find(hive, keyPath);
  if (key == nullptr) return kErrorFileNotFound;
  if (values) {
    for (const auto& value : key->values) names.push_back(value.first);
  } else {
    for (const auto& child : key->children) names.push_back(child->name);
  }
  return kErrorSuccess;
}

long FakeRegistry::EnumKeys(Hive hive, const std::wstring& keyPath, std::vector<std::wstring>& names) {
  return Enum(hive, keyPath, false, names);
}

long FakeRegistry::EnumValues(Hive hive, const std::wstring& keyPath, std::vector<std::wstring>& names) {
  return Enum(hive, keyPath, true, names);
}

long FakeRegistry::DeleteKey(Hive hive, const std::wstring& keyPath) {
  if (long code = FailureIn(writeFailures_, hive, keyPath)) return code;
  auto parts = SplitPath(keyPath);
  if (parts.empty()) return kErrorAccessDenied;  // a hive itself cannot be deleted
  Key* key = Find(hive, keyPath);
  if (key == nullptr) return kErrorFileNotFound;
  std::wstring parentPath;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) parentPath += parts[i] + L"\\";
  // The parent in the tree that holds the key: the native view's for a key that the views share.
  const FakeRegistry* holder = SharedOwner(hive, keyPath) != nullptr ? native_ : this;
  Key* parent = holder->Find(hive, parentPath);
  auto& siblings = parent->children;
  siblings.erase(std::remove_if(siblings.begin(), siblings.end(),
                                [key](const std::unique_ptr<Key>& child) { return child.get() == key; }),
                 siblings.end());
  changes_.push_back(RegChange{RegChangeKind::kDeleteKey, hive, keyPath, L"", {}});
  return kErrorSuccess;
}

long FakeRegistry::EnumCategoryClasses(const std::wstring& categoryId, std::vector<std::wstring>& classIds) {
  classIds.clear();
  if (categoryId.empty()) return kErrorInvalidParameter;
  if (categoryId.find(L'\\') != std::wstring::npos) return kErrorInvalidParameter;
  if (categoryFailure_ != kErrorSuccess) return categoryFailure_;
  Key* clsid = Find(kHkeyClassesRoot, L"CLSID");
  if (clsid == nullptr) return kErrorSuccess;
  for (const auto& cls : clsid->children) {
    Key* categories = cls->Child(L"Implemented Categories");
    if (categories != nullptr && categories->Child(categoryId) != nullptr) classIds.push_back(cls->name);
  }
  return kErrorSuccess;
}

long FakeRegistry::KeyName(Hive hive, const std::wstring& keyPath, std::wstring& name) {
  if (Find(hive, keyPath) == nullptr) return kErrorFileNotFound;
  const bool ownOf32BitView = native_ != nullptr && SharedOwner(hive, keyPath) == nullptr;
  name = std::wstring(ownOf32BitView ? L"\\REGISTRY\\WOW32\\" : L"\\REGISTRY\\") + std::to_wstring(hive) + L"\\" +
         JoinFolded(keyPath);
  return kErrorSuccess;
}

}  // namespace platform
