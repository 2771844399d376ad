#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/Items.h"
#include "platform/Types.h"

// The running processes and what they have loaded. Holds no data; each user creates its own instance.
// The NT family is read through psapi, the 9x family through Toolhelp snapshots; MAPI::gbIsNT chooses.
// Every path is passed through MWDL::goFilenameResolver->GetFullFileNameFromShortFilename before it is
// stored.
class CProcessManager {
 public:
  // One item per running process, in the system's order: Name = the full path of its image, Children =
  // its modules (NT: from the second module on, so the image is not repeated; 9x: every module of the
  // snapshot, the image among them). A process that cannot be opened or whose module list cannot be
  // read is left out without a log line. After an error (a refused process listing among them): null
  // (the error is logged at level 0).
  std::shared_ptr<CItemList> EnumProcesses();

  // Sizes of the NT listings: the module handle table and the path buffer, in characters.
  static constexpr std::uint32_t kModuleTableSize = 1024;
  static constexpr std::uint32_t kPathChars = 260;

 private:
  // Both variants: the list, or null after an error (logged at level 0 under their own source tag).
  std::shared_ptr<CItemList> EnumProcessesNT();
  std::shared_ptr<CItemList> EnumProcesses95();

  // The text before its first NUL character; the whole text when it has none.
  static std::wstring StripNull(const std::wstring& Text);

  // The ids of the running processes (psapi), in the system's order. Throws CError (0x80070000 | the
  // system's error code) when the system refuses the listing.
  static std::vector<std::uint32_t> ListProcessIds();
  // The module handles of an open process, the image first. False when the list cannot be read
  // (`modules` then holds nothing of use).
  static bool ListModules(platform::Handle process, std::vector<platform::Handle>& modules);
  // The path of one module of an open process as the system reports it (not resolved); "" when the
  // query fails. A longer path arrives cut to the buffer's length.
  static std::wstring ModulePath(platform::Handle process, platform::Handle module);
};
