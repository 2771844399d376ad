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
// A key that Windows shares between the views is made with ShareKey: the 32-bit view's path then leads
// to the native view's key.
//   reg.ShareKey(kHkeyLocalMachine, L"Software\\Shared");
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
  // Makes hive\keyPath of the 32-bit view the very key of the native view, as Windows shares some keys
  // between the views: from then on every call of the 32-bit view on that key or below it (set-up and
  // inspection too) reaches the native view's key, and KeyName gives both views the same name. What the
  // 32-bit view held there before is out of reach. Called on either view.
  void ShareKey(Hive hive, const std::wstring& keyPath);

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
  // "\REGISTRY\<hive number>\<path, folded>" for a key of the native view, with "WOW32\" after
  // "\REGISTRY\" for a key of the 32-bit view's own (a shared key has the native name in both views);
  // kErrorFileNotFound for a missing key.
  long KeyName(Hive hive, const std::wstring& keyPath, std::wstring& name) override;

  struct Key;  // internal

 private:
  // The native view when this is the 32-bit view and keyPath is a shared key or below one; else null.
  FakeRegistry* SharedOwner(Hive hive, const std::wstring& keyPath) const;
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
  std::vector<std::pair<Hive, std::wstring>> shared_;  // in the 32-bit view: its shared keys, folded
};

}  // namespace platform
