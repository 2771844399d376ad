#pragma once
#include <memory>
#include <string>

#include "common/Items.h"
#include "common/KeyedCollection.h"
#include "platform/Registry.h"
#include "platform/Types.h"

// The web browser's extensions: browser helper objects, toolbars and explorer bars. Each becomes one
// item named by its class id (only names of exactly 38 characters are used), with the properties
// "Name" (the display name, every "&" removed) and "DLL" (the resolved file serving the class, empty
// when the class names none), plus "Key" (the hive, 32-bit number) for toolbars and "CATID" (the
// component category, text) for explorer bars. Holds no data.
//
// On 64-bit Windows the local machine's listings and the categories are read in both registry views,
// the program's own first, then that of 32-bit programs (right after the same listing) unless that
// view's key is the very key of the program's own (a key the views share, read once: the listing key,
// or "CLSID" for the categories); a class id found in a view is looked up (name, server, "Url") in that
// view, and its file is found as a program of that view would find it.
//
// An error while one listing is filled ends that listing only (logged at level 4; items appended before
// it stay, the one being built with the properties added so far) and the enumeration goes on with its
// next listing. Any other error of an enumeration is logged at level 4 and gives null.
class CIEManager {
 public:
  // The registered browser helper objects of the local machine.
  std::shared_ptr<CItemList> EnumBHOs();
  // Removes the registration key of one browser helper object (not its class, and in the program's own
  // registry view) and logs the outcome: "Deleting BHO(Id)" or "Failed to delete BHO(Id): reason",
  // number 0, level 5, no source. An `Id` that names no single key (empty, blanks only, or with a
  // backslash) deletes nothing and is logged as a failure with kNoClassIdText as the reason.
  // Traps no error.
  void DeleteBHO(const std::wstring& Id);
  // The toolbars of the local machine, then those of the current user; the browser's own are left out.
  std::shared_ptr<CItemList> EnumToolbars();
  // The vertical, then the horizontal explorer bars, except the system's own.
  std::shared_ptr<CItemList> EnumExplorerBars();

  static constexpr const wchar_t kBHOKey[] =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
  static constexpr const wchar_t kToolbarKeyLM[] = L"Software\\Microsoft\\Internet Explorer\\Toolbar";
  static constexpr const wchar_t kToolbarKeyCU[] = L"Software\\Microsoft\\Internet Explorer\\Toolbar\\WebBrowser";
  static constexpr const wchar_t kVerticalBarsCATID[] = L"{00021493-0000-0000-C000-000000000046}";
  static constexpr const wchar_t kHorizontalBarsCATID[] = L"{00021494-0000-0000-C000-000000000046}";
  static constexpr const wchar_t kNoClassIdText[] = L"No class id names the browser helper object to delete.";

 private:
  // Each appends the items of one listing read in registry view `view`.
  void FillBHOInfo(const CKeyedCollection<std::wstring>& names, CItemList& list, platform::Hive hive,
                   platform::RegView view);
  void FillTBInfo(const CKeyedCollection<std::wstring>& names, CItemList& list, platform::Hive hive,
                  platform::RegView view);
  void FillExplorerBarInfo(const CKeyedCollection<std::wstring>& classIds, CItemList& list,
                           const std::wstring& categoryId, platform::RegView view);
};
