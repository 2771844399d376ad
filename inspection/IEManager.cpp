#include "inspection/IEManager.h"

#include <algorithm>
#include <array>

#include "common/Error.h"
#include "common/Logger.h"
#include "common/Registry.h"
#include "common/Utilities.h"
#include "inspection/InspectionHelpers.h"

using inspection_detail::HiveNumber;
using MWDL::Log;
using MWDL::LogError;
using inspection_detail::LowerAscii;
using inspection_detail::Registry;
using inspection_detail::ResolveCommandLine;
using inspection_detail::ViewsOf;
using platform::Hive;
using platform::RegView;
using platform::kHkeyClassesRoot;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;

namespace {

// The key below HKEY_CLASSES_ROOT that holds the classes.
constexpr wchar_t kClassesKey[] = L"CLSID";

// A class id in braces is exactly this long; other names are passed over.
constexpr std::size_t kClassIdLength = 38;

// The system's own explorer bars. A class id names the same class in any letter case (the category
// manager gives them in upper case), so they are compared without regard to it.
constexpr std::array<const wchar_t*, 8> kExcludedExplorerBars = {
    L"{EFA24E61-B078-11d0-89E4-00C04FC9E26E}", L"{EFA24E64-B078-11d0-89E4-00C04FC9E26E}",
    L"{EFA24E62-B078-11d0-89E4-00C04FC9E26E}", L"{30D02401-6A81-11d0-8274-00C04FD5AE38}",
    L"{32683183-48a0-441b-a342-7c2a440a9478}", L"{C4EE31F3-4768-11D2-BE5C-00A0C9A83DA1}",
    L"{4D5C8C25-D075-11d0-B416-00C04FB90376}", L"{BDEADE7F-C265-11D0-BCED-00A0C90AB50F}",
};

// Toolbars served by these files are the browser's own.
constexpr std::array<const wchar_t*, 3> kExcludedToolbarServers = {L"\\browseui.dll", L"\\msdxm.ocx",
                                                                   L"\\shell32.dll"};

bool IsClassId(const std::wstring& name) { return name.size() == kClassIdLength; }

bool IsExcludedExplorerBar(const std::wstring& classId) {
  const std::wstring lowered = LowerAscii(classId);
  return std::any_of(kExcludedExplorerBars.begin(), kExcludedExplorerBars.end(),
                     [&](const wchar_t* excluded) { return lowered == LowerAscii(excluded); });
}

std::wstring DefaultValue(Hive hive, const std::wstring& keyPath, RegView view) {
  std::wstring data;
  Registry().GetValue(hive, keyPath, L"", data, view);
  return data;
}

// The file that serves a class, as registered in `view` (not resolved): its in-process server, else its
// local one.
std::wstring ServerOf(const std::wstring& classId, RegView view) {
  std::wstring server = DefaultValue(kHkeyClassesRoot, L"CLSID\\" + classId + L"\\InProcServer32", view);
  if (server.empty()) server = DefaultValue(kHkeyClassesRoot, L"CLSID\\" + classId + L"\\LocalServer32", view);
  return server;
}

// A class id that names one key below the registration key: not empty, not blank, no backslash (which
// would name the registration key itself or reach past it).
bool NamesOneKey(const std::wstring& classId) {
  return classId.find_first_not_of(L" \t") != std::wstring::npos && classId.find(L'\\') == std::wstring::npos;
}

// The "ProductName" of a file's version strings; "" when it has none.
std::wstring ProductName(const std::wstring& file) {
  CKeyedCollection<std::wstring> strings = Utilities().GetFileVersionInfo(file);
  return strings.Exists(L"ProductName") ? strings.Item(L"ProductName") : std::wstring();
}

std::wstring WithoutAmpersands(std::wstring title) {
  title.erase(std::remove(title.begin(), title.end(), L'&'), title.end());
  return title;
}

bool Contains(const std::wstring& text, const wchar_t* part) { return text.find(part) != std::wstring::npos; }

}  // namespace

std::shared_ptr<CItemList> CIEManager::EnumBHOs() {
  try {
    auto list = std::make_shared<CItemList>();
    for (const RegView view : ViewsOf(kHkeyLocalMachine, kBHOKey)) {
      FillBHOInfo(Registry().EnumKeys(kHkeyLocalMachine, kBHOKey, view), *list, kHkeyLocalMachine, view);
    }
    return list;
  } catch (...) {
    LogError(CurrentError(), kLogTolerated, L"CIEManager.EnumBHOs");
    return nullptr;
  }
}

void CIEManager::FillBHOInfo(const CKeyedCollection<std::wstring>& names, CItemList& list, Hive hive,
                             RegView view) {
  try {
    for (const std::wstring& classId : names) {
      if (!IsClassId(classId)) continue;
      std::wstring title = DefaultValue(hive, std::wstring(kBHOKey) + L"\\" + classId, view);
      const std::wstring server = ResolveCommandLine(ServerOf(classId, view), view);
      auto item = list.Add();
      item->Name = classId;
      if (title.empty()) title = ProductName(server);
      if (title.empty()) title = server;
      item->Properties().Add(L"Name", WithoutAmpersands(title));
      item->Properties().Add(L"DLL", server);
    }
  } catch (...) {
    LogError(CurrentError(), kLogTolerated, L"CIEManager.FillBHOInfo");
  }
}

void CIEManager::DeleteBHO(const std::wstring& Id) {
  // Without a class id the path would name the registration key of every browser helper object.
  std::wstring errorText = kNoClassIdText;
  if (NamesOneKey(Id) && Registry().DeleteKey(kHkeyLocalMachine, std::wstring(kBHOKey) + L"\\" + Id, errorText)) {
    Log(0, Utilities().FormatString(L"Deleting BHO(%1)", {Id}), kLogInfo, L"");
  } else {
    Log(0, Utilities().FormatString(L"Failed to delete BHO(%1): %2", {Id, errorText}), kLogInfo, L"");
  }
}

std::shared_ptr<CItemList> CIEManager::EnumToolbars() {
  try {
    auto list = std::make_shared<CItemList>();
    for (const RegView view : ViewsOf(kHkeyLocalMachine, kToolbarKeyLM)) {
      FillTBInfo(Registry().EnumValues(kHkeyLocalMachine, kToolbarKeyLM, view), *list, kHkeyLocalMachine, view);
    }
    FillTBInfo(Registry().EnumValues(kHkeyCurrentUser, kToolbarKeyCU), *list, kHkeyCurrentUser, RegView::kNative);
    return list;
  } catch (...) {
    LogError(CurrentError(), kLogTolerated, L"CIEManager.EnumToolbars");
    return nullptr;
  }
}

void CIEManager::FillTBInfo(const CKeyedCollection<std::wstring>& names, CItemList& list, Hive hive,
                            RegView view) {
  try {
    for (const std::wstring& classId : names) {
      if (!IsClassId(classId)) continue;
      const std::wstring title = DefaultValue(kHkeyClassesRoot, L"CLSID\\" + classId, view);
      std::wstring server = ServerOf(classId, view);
      // The browser's own bars, judged by the server as registered.
      const std::wstring lowered = LowerAscii(server);
      if (std::any_of(kExcludedToolbarServers.begin(), kExcludedToolbarServers.end(),
                      [&](const wchar_t* excluded) { return Contains(lowered, excluded); })) {
        continue;
      }
      server = ResolveCommandLine(server, view);
      auto item = list.Add();
      item->Name = classId;
      item->Properties().Add(L"Name", WithoutAmpersands(title));
      item->Properties().Add(L"DLL", server);
      item->Properties().Add(L"Key", HiveNumber(hive));
    }
  } catch (...) {
    LogError(CurrentError(), kLogTolerated, L"CIEManager.FillTBInfo");
  }
}

std::shared_ptr<CItemList> CIEManager::EnumExplorerBars() {
  try {
    auto list = std::make_shared<CItemList>();
    for (const wchar_t* category : {kVerticalBarsCATID, kHorizontalBarsCATID}) {
      // The 32-bit view's classes are its own "CLSID" key's.
      for (const RegView view : ViewsOf(kHkeyClassesRoot, kClassesKey)) {
        FillExplorerBarInfo(Registry().EnumCategoryClasses(category, view), *list, category, view);
      }
    }
    return list;
  } catch (...) {
    LogError(CurrentError(), kLogTolerated, L"CIEManager.EnumExplorerBars");
    return nullptr;
  }
}

void CIEManager::FillExplorerBarInfo(const CKeyedCollection<std::wstring>& classIds, CItemList& list,
                                     const std::wstring& categoryId, RegView view) {
  try {
    for (const std::wstring& classId : classIds) {
      if (!IsClassId(classId) || IsExcludedExplorerBar(classId)) continue;
      const std::wstring classKey = L"CLSID\\" + classId;
      std::wstring title = DefaultValue(kHkeyClassesRoot, classKey, view);
      std::wstring server = ServerOf(classId, view);
      std::wstring url;
      Registry().GetValue(kHkeyClassesRoot, classKey + L"\\Instance\\InitPropertyBag", L"Url", url, view);
      // A bar hosted by the browser's own shdocvw.dll is a web page: its "Url" names what it shows.
      if (Contains(LowerAscii(server), L"shdocvw.dll") && !Contains(LowerAscii(url), L"shdocvw.dll")) {
        server = url;
      }
      auto item = list.Add();
      item->Name = classId;
      if (title.empty()) title = ProductName(server);
      server = ResolveCommandLine(server, view);
      if (title.empty()) title = server;
      item->Properties().Add(L"Name", WithoutAmpersands(title));
      item->Properties().Add(L"DLL", server);
      item->Properties().Add(L"CATID", categoryId);
    }
  } catch (...) {
    LogError(CurrentError(), kLogTolerated, L"CIEManager.FillExplorerBarInfo");
  }
}
