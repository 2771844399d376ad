#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "common/Items.h"
#include "common/KeyedCollection.h"
#include "detection/PaDetector.h"
#include "shell/Progressor.h"

// The state report: one compilation of the system state written as the state XML, the one-line document
// that a support request sends to the vendor as the value "state" (docs/formats.md). Every file stands
// once in <fileinfo>, numbered x = 1, 2, ... in the order of the common file list, with its path, size,
// checksum, description and maker; every other section names files only by that number. A reporter is
// made for one request; nothing passes from one call to the next.
class CReporter {
 public:
  // Compiles the system state (progress 5 to 19 on `Progressor`) and writes the document (progress 19
  // to 91, the file information moving it from 20 to 90 every tenth file). Pending window messages run
  // once per entry written, so that the dialog's Cancel is served.
  //
  // Returns "" when the user cancelled (nothing is logged) or when an error ended the call (logged at
  // level 0 under "CReporter.MakeStateXML"). An error inside one section's writer empties only that
  // section, logged under the writer's own name ("CReporter.MakeFileInfoXML", ...), and the document is
  // still returned.
  std::wstring MakeStateXML(IProgressor& Progressor, const std::wstring& OSType, const std::wstring& CPUType,
                            const std::wstring& ComputerName, const std::wstring& Comments,
                            const std::wstring& YourName, const std::wstring& YourEmail);

 private:
  // The content of each element; "" after an error.
  std::wstring MakeMetaXML(const std::wstring& OSType, const std::wstring& CPUType, const std::wstring& ComputerName,
                           const std::wstring& Comments, const std::wstring& YourName, const std::wstring& YourEmail);
  // Also fills moFileIndex (as far as it got after an error) and reports progress; "" at a cancel.
  std::wstring MakeFileInfoXML(const std::shared_ptr<CFileNameList>& oCommonFileList);
  std::wstring MakeSuspiciousFileXML(const std::shared_ptr<CFileNameList>& oSuspiciousFileList);
  std::wstring MakeServicesFileXML(const std::shared_ptr<CItemList>& oServices);
  std::wstring MakeStartupsXML(const std::shared_ptr<CItemList>& oStartups);
  std::wstring MakeBHOsXML(const std::shared_ptr<CItemList>& oBHOs);
  std::wstring MakeToolbarsXML(const std::shared_ptr<CItemList>& oToolbars);
  std::wstring MakeExplorerBarsXML(const std::shared_ptr<CItemList>& oExplorerBars);
  std::wstring MakeProcessesXML(const std::shared_ptr<CItemList>& oProcesses);

  // "<f x='n'/>" for each item's file (the first "DLL" value); with `skipEmpty`, an item whose file is
  // empty is left out.
  std::wstring MakeExtensionXML(const std::shared_ptr<CItemList>& items, bool skipEmpty);
  // The index x of `file`: CError 5 when it is not in moFileIndex.
  std::int32_t IndexOf(const std::wstring& file) const;

  // The caller's progress dialog, while a call runs.
  IProgressor* moProgressor = nullptr;
  // Full path -> x, keys without regard to case. (The file index's key form is "_" + the path; the "_",
  // the same in every key, changes no comparison, so the path alone is the key here and no key has to
  // be made for a lookup.)
  CKeyedCollection<std::int32_t> moFileIndex;
};
