#include "inspection/StartupManager.h"

#include "common/Error.h"
#include "common/Logger.h"
#include "common/Registry.h"
#include "common/Utilities.h"
#include "inspection/InspectionHelpers.h"

using inspection_detail::HiveNumber;
using MWDL::LogError;
using inspection_detail::PathAsNamed;
using inspection_detail::Registry;
using inspection_detail::ResolveCommandLine;
using inspection_detail::ViewsOf;
using platform::Hive;
using platform::RegView;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;

namespace {

// The Run-family keys, in the order they are read. "RunOnce\Setup" exists for the local machine only.
struct StartupKey {
  Hive hive;
  const wchar_t* path;
};
constexpr const wchar_t kRunServices[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServices";
constexpr const wchar_t kRunOnce[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr const wchar_t kRunOnceSetup[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce\\Setup";
constexpr const wchar_t kRunServicesOnce[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunServicesOnce";

constexpr StartupKey kStartupKeys[] = {
    {kHkeyLocalMachine, CStartupManager::kRunKey},   {kHkeyCurrentUser, CStartupManager::kRunKey},
    {kHkeyLocalMachine, kRunServices},               {kHkeyCurrentUser, kRunServices},
    {kHkeyLocalMachine, kRunOnce},                   {kHkeyCurrentUser, kRunOnce},
    {kHkeyLocalMachine, kRunOnceSetup},
    {kHkeyLocalMachine, kRunServicesOnce},           {kHkeyCurrentUser, kRunServicesOnce},
};

}  // namespace

std::shared_ptr<CItemList> CStartupManager::EnumStartups() {
  try {
    auto list = std::make_shared<CItemList>();
    // A key of the local machine in the 32-bit programs' view too, right after the same key, when that
    // view has a key of its own there.
    for (const StartupKey& key : kStartupKeys) {
      for (const RegView view : ViewsOf(key.hive, key.path)) {
        FillItemInfo(Registry().EnumValues(key.hive, key.path, view), *list, key.hive, key.path, view);
      }
    }
    for (const Hive hive : {kHkeyLocalMachine, kHkeyCurrentUser}) {
      for (const RegView view : ViewsOf(hive, kPoliciesRunKey)) EnumPoliciesRun(*list, hive, view);
    }
    return list;
  } catch (...) {
    LogError(CurrentError(), kLogTolerated, L"CStartupManager.EnumStartups");
    return nullptr;
  }
}

void CStartupManager::FillItemInfo(const CKeyedCollection<std::wstring>& names, CItemList& list, Hive hive,
                                   const std::wstring& keyPath, RegView view) {
  try {
    for (const std::wstring& valueName : names) {
      std::wstring data;
      Registry().GetValue(hive, keyPath, valueName, data, view);
      // Empty data is resolved too; it gives an empty name and so no item.
      const std::wstring file = ResolveCommandLine(data, view);
      if (file.empty()) continue;
      AddItem(list, file, hive, PathAsNamed(keyPath, view), valueName);
    }
  } catch (...) {
    LogError(CurrentError(), kLogTolerated, L"CStartupManager.FillItemInfo");
  }
}

void CStartupManager::EnumPoliciesRun(CItemList& list, Hive hive, RegView view) {
  const CKeyedCollection<std::wstring> names = Registry().EnumValues(hive, kPoliciesRunKey, view);
  for (const std::wstring& valueName : names) {
    std::wstring data;
    Registry().GetValue(hive, kPoliciesRunKey, valueName, data, view);
    if (data.empty()) continue;
    const std::wstring file = ResolveCommandLine(data, view);
    if (file.empty()) continue;
    AddItem(list, file, hive, PathAsNamed(kPoliciesRunKey, view), valueName);
  }
}

void CStartupManager::AddItem(CItemList& list, const std::wstring& file, Hive hive, const std::wstring& keyPath,
                              const std::wstring& valueName) {
  auto item = list.Add();
  item->Name = Utilities().NewID();
  CProperties& properties = item->Properties();
  properties.Add(L"DLL", file);
  properties.Add(L"Key", HiveNumber(hive));
  properties.Add(L"Hive", keyPath);
  properties.Add(L"ValueName", valueName);
}
