#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ZipLibrary.h"

namespace platform {

// One ZpArchive call as recorded.
struct ZipArchiveCall {
  std::int32_t count = 0;
  std::string zipFile;
  ZipNameList names;
  ZipOptions options;  // the options in force (the last ZpSetOptions)
};

// A zip library in memory. By default it loads, and ZpArchive makes a real zip archive (entries stored
// uncompressed) of the `count` files named, read from platform::Files() and written there under
// `zipFile`: with fJunkDir each entry under its bare name, else under its path without drive and
// leading "\" with "/" between folders; fNoDirEntries and fRecurse have nothing to act on (the names
// are files). A name without a file is passed over; when none is left nothing is written and the
// result is 12 (nothing to do), else 0.
//
//   machine.zipLibrary.loadError = 126;                        // "vbzip10.dll" is missing
//   machine.zipLibrary.onArchive = [](const ZipCallbacks& cb) { cb.print("a/b", 3); };
class FakeZipLibrary : public IZipLibrary {
 public:
  // Every call fails with this Win32 error code when it is not 0 (the library cannot be loaded).
  unsigned long loadError = 0;
  // This function ("ZpInit", "ZpSetOptions", "ZpArchive") cannot be found: its calls fail with 127.
  std::string missingFunction;
  // Runs inside ZpSetOptions on the record handed over, as the library would write into it.
  std::function<void(ZipOptions&)> onSetOptions;
  // Runs inside ZpArchive before the archive is made, with the callbacks of the last ZpInit.
  std::function<void(const ZipCallbacks&)> onArchive;
  // When false, ZpArchive writes nothing and returns `archiveResult`.
  bool makesArchive = true;
  std::int32_t archiveResult = 0;
  // ChangeDirectory fails with this code when it is not 0.
  unsigned long changeDirectoryError = 0;

  // Names of the calls that reached the library, in order ("ZpInit", "ZpSetOptions", "ZpArchive").
  const std::vector<std::string>& Calls() const noexcept { return calls_; }
  const ZipCallbacks& Callbacks() const noexcept { return callbacks_; }
  // The record of each ZpSetOptions as it was handed over.
  const std::vector<ZipOptions>& OptionsSeen() const noexcept { return optionsSeen_; }
  const std::vector<ZipArchiveCall>& Archives() const noexcept { return archives_; }
  // The folders ChangeDirectory was given (also the refused ones).
  const std::vector<std::wstring>& Directories() const noexcept { return directories_; }

  bool ZpInit(const ZipCallbacks& callbacks, std::int32_t& result, unsigned long& lastError) override;
  bool ZpSetOptions(ZipOptions& options, std::int32_t& result, unsigned long& lastError) override;
  bool ZpArchive(std::int32_t count, const std::string& zipFile, const ZipNameList& names, std::int32_t& result,
                 unsigned long& lastError) override;
  bool ChangeDirectory(const std::wstring& path, unsigned long& lastError) override;

 private:
  bool Reach(const char* function, unsigned long& lastError);
  std::int32_t MakeArchive(std::int32_t count, const std::string& zipFile, const ZipNameList& names);

  std::vector<std::string> calls_;
  ZipCallbacks callbacks_;
  ZipOptions options_;
  std::vector<ZipOptions> optionsSeen_;
  std::vector<ZipArchiveCall> archives_;
  std::vector<std::wstring> directories_;
};

}  // namespace platform
