#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace platform {

// What a FakeRegistry was asked to change, in call order.
enum class RegChangeKind { kSetValue, kDeleteValue, kDeleteKey };
struct RegChange {
  RegChangeKind kind = RegChangeKind::kSetValue;
  Hive hive = 0;
  std::wstring keyPath;
  std::wstring valueName;  // empty for kDeleteKey
  RegValue value;          // kSetValue only
};

// An in-memory registry. Keys and values are kept in the order they were created, so enumeration
// gives insertion order; key and value names compare without regard to letter case (platform::FoldKey).
// Key paths may carry leading, trailing or doubled backslashes; they are ignored.
//
// Set-up (none of these is recorded in Changes()):
//   reg.SetString(kHkeyLocalMachine, L"Software\\X", L"Path", L"C:\\x.exe");
//   reg.SetDword(kHkeyCurrentUser, L"Software\\X", L"Count", 3);
//   reg.SetStringNoNul(kHkeyLocalMachine, L"Software\\X", L"Raw", L"abc");   // no terminating NUL
//   reg.FailEnum(kHkeyLocalMachine, L"Software\\X", kErrorAccessDenied);
//
// The 32-bit view of 64-bit Windows is a second FakeRegistry of its own, reached through Wow32() (set-up
// and inspection) or View(RegView::kWow32) (the interface); it starts empty and is separate from this
// one in every hive, key paths included (write its Software keys without "Wow6432Node").
//   reg.Wow32().SetString(kHkeyLocalMachine, L"Software\\X", L"Path", L"C:\\x86.exe");
class FakeRegistry : public IRegistry {
 public:
  FakeRegistry();
  ~FakeRegistry() override;
  FakeRegistry(const FakeRegistry&) = delete;
  FakeRegistry& operator=(const FakeRegistry&) = delete;

  // --- Set-up -----------------------------------------------------------------------------------
  // Creates the key and its parents (no values).
  void CreateKey(Hive hive, const std::wstring& keyPath);
  // REG_SZ / REG_EXPAND_SZ as UTF-16LE with the terminating NUL.
  void SetString(Hive hive, const std::wstring& keyPath, const std::wstring& valueName, const std::wstring& text);
  void SetExpandString(Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                       const std::wstring& text);
  // A string value of `type` WITHOUT a terminating NUL, as careless writers leave them.
  void SetStringNoNul(Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                      const std::wstring& text, std::uint32_t type = kRegSz);
  // REG_MULTI_SZ: each string with its NUL, then the closing NUL.
  void SetMultiString(Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                      const std::vector<std::wstring>& texts);
  void SetDword(Hive hive, const std::wstring& keyPath, const std::wstring& valueName, std::uint32_t number);
  // Any type with raw bytes.
  void SetBytes(Hive hive, const std::wstring& keyPath, const std::wstring& valueName, std::uint32_t type,
                std::vector<std::uint8_t> bytes);
  // Removes everything, failures and the record of changes included, in both views.
  void Clear();
  // The 32-bit view (this object itself when this is the 32-bit view). Its failures and changes are its own.
  FakeRegistry& Wow32();

  // --- Failures to simulate (a code of kErrorSuccess removes the failure) ------------------------
  // EnumKeys and EnumValues of that key return `code` (after giving nothing).
  void FailEnum(Hive hive, const std::wstring& keyPath, long code);
  // QueryValue of that value returns `code`.
  void FailQuery(Hive hive, const std::wstring& keyPath, const std::wstring& valueName, long code);
  // SetValue / DeleteValue on that key, and DeleteKey of it, return `code` and change nothing.
  void FailWrite(Hive hive, const std::wstring& keyPath, long code);
  // EnumCategoryClasses returns `code` (the category manager is unavailable).
  void FailCategories(long code);

  // --- Inspection -------------------------------------------------------------------------------
  bool HasKey(Hive hive, const std::wstring& keyPath) const;
  bool HasValue(Hive hive, const std::wstring& keyPath, const std::wstring& valueName) const;
  // The value as stored; nullopt when missing.
  std::optional<RegValue> Value(Hive hive, const std::wstring& keyPath, const std::wstring& valueName) const;
  // A REG_SZ / REG_EXPAND_SZ value's text without its NUL; "" when missing.
  std::wstring StringValue(Hive hive, const std::wstring& keyPath, const std::wstring& valueName) const;
  // Every SetValue, DeleteValue and DeleteKey that succeeded through the IRegistry interface.
  const std::vector<RegChange>& Changes() const noexcept { return changes_; }
  bool WasKeyDeleted(Hive hive, const std::wstring& keyPath) const;
  bool WasValueDeleted(Hive hive, const std::wstring& keyPath, const std::wstring& valueName) const;

  // --- IRegistry --------------------------------------------------------------------------------
  long QueryValue(Hive hive, const std::wstring& keyPath, const std::wstring& valueName, RegValue& value) override;
  long SetValue(Hive hive, const std::wstring& keyPath, const std::wstring& valueName, const RegValue& value) override;
  long DeleteValue(Hive hive, const std::wstring& keyPath, const std::wstring& valueName) override;
  long EnumKeys(Hive hive, const std::wstring& keyPath, std::vector<std::wstring>& names) override;
  long EnumValues(Hive hive, const std::wstring& keyPath, std::vector<std::wstring>& names) override;
  long DeleteKey(Hive hive, const std::wstring& keyPath) override;
  // The class ids found as HKCR "CLSID\{class}\Implemented Categories\{category}" keys, in key order.
  long EnumCategoryClasses(const std::wstring& categoryId, std::vector<std::wstring>& classIds) override;
  // This object for the view it is, the other view's object for the other.
  IRegistry& View(RegView view) override;

  struct Key;  // internal

 private:
  Key* Find(Hive hive, const std::wstring& keyPath) const;
  Key* Create(Hive hive, const std::wstring& keyPath);
  void Store(Hive hive, const std::wstring& keyPath, const std::wstring& valueName, RegValue value);
  // EnumKeys (the subkeys' names) or EnumValues (`values`: the values' names).
  long Enum(Hive hive, const std::wstring& keyPath, bool values, std::vector<std::wstring>& names) const;

  std::map<Hive, std::unique_ptr<Key>> hives_;
  std::map<std::wstring, long> enumFailures_;
  std::map<std::wstring, long> queryFailures_;
  std::map<std::wstring, long> writeFailures_;
  long categoryFailure_ = kErrorSuccess;
  std::vector<RegChange> changes_;
  FakeRegistry* native_ = nullptr;       // set in the 32-bit view: the registry it belongs to
  std::unique_ptr<FakeRegistry> wow32_;  // the 32-bit view, made when first asked for
};

}  // namespace platform
