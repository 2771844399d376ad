#pragma once
#include <memory>
#include <string>

#include "common/Items.h"
#include "common/KeyedCollection.h"
#include "platform/Registry.h"
#include "platform/Types.h"

// What Windows starts from the registry: the values of the Run-family keys and of the policies Run key,
// in the local-machine and the current-user hive. On 64-bit Windows the local machine's keys are read in
// both registry views: the program's own, then that of 32-bit programs (where most of them register),
// except a key that both views share (the 32-bit view's path leads to the very same key): read once.
// Holds no data; create one per compilation.
class CStartupManager {
 public:
  // One item per value whose command line names a file, in key order (local machine before current user
  // for each key; the 32-bit view's values of a local-machine key right after the same key's own) and,
  // within a key, in the registry's order of value names. Each item: Name = a new identifier; properties
  // "DLL" (the resolved file, text), "Key" (the hive as a 32-bit signed number), "Hive" (the key path as
  // the 64-bit view names it, text: "SOFTWARE\Wow6432Node\Microsoft\..." for the 32-bit view),
  // "ValueName" (text), in this order.
  // An error while one key's values are read ends that key only (logged at level 4) and the next key is
  // read. Any other error is logged at level 4 and gives null: nothing gathered reaches the caller.
  std::shared_ptr<CItemList> EnumStartups();

  // The key paths read, relative to their hives.
  static constexpr const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
  static constexpr const wchar_t kPoliciesRunKey[] =
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\policies\\Explorer\\Run";

 private:
  // Appends an item for each of `names` (values of `keyPath` in `hive`, registry view `view`) whose
  // data names a file. Ends at its first error, which it logs; items appended before it stay.
  void FillItemInfo(const CKeyedCollection<std::wstring>& names, CItemList& list, platform::Hive hive,
                    const std::wstring& keyPath, platform::RegView view);
  // The policies Run key of `hive` in `view`, as FillItemInfo, but a value with empty data is not
  // resolved at all. Traps no error.
  void EnumPoliciesRun(CItemList& list, platform::Hive hive, platform::RegView view);
  // Appends one startup item.
  static void AddItem(CItemList& list, const std::wstring& file, platform::Hive hive, const std::wstring& keyPath,
                      const std::wstring& valueName);
};
