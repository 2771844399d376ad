#include "removal/PaRemover.h"

#include <limits>
#include <memory>

#include "common/Error.h"
#include "common/Logger.h"
#include "inspection/FileManagers.h"
#include "inspection/Hashier.h"
#include "inspection/ProcessManager.h"
#include "shell/MWDL.h"
#include "shell/Strings.h"

namespace {

constexpr wchar_t kSource[] = L"CPaRemover.RemoveSpyware";
constexpr int kNothingFoundId = 115;
constexpr std::int32_t kCompileFrom = 1;
constexpr std::int32_t kCompileTo = 30;

[[noreturn]] void Overflow() { throw CError(err::kOverflow, L"Overflow"); }

// Sums and products of the run's counters, in 32 bits: beyond them the run stops with "Overflow".
std::int32_t Checked32(std::int64_t value) {
  if (value > std::numeric_limits<std::int32_t>::max() || value < std::numeric_limits<std::int32_t>::min()) {
    Overflow();
  }
  return static_cast<std::int32_t>(value);
}

std::int32_t ChecksumOf(const std::wstring& path) {
  std::int32_t size = 0;
  return Required(MWDL::goHashier).HashFromFullFileName(path, size);
}

// The counter of files over both passes, with progress and a cancel test at every tenth file.
class FileCounter {
 public:
  FileCounter(IProgressor& progressor, std::int32_t total) : progressor_(progressor), total_(total) {}
  // Counts one more file; false when the user cancelled.
  bool Next() {
    i_ = Checked32(std::int64_t{i_} + 1);
    if (i_ % 10 != 0) return true;
    if (progressor_.Cancelled()) return false;
    progressor_.Progress(30 + Checked32(std::int64_t{i_} * 70) / static_cast<double>(total_));
    return true;
  }

 private:
  IProgressor& progressor_;
  std::int32_t total_;
  std::int32_t i_ = 0;
};

}  // namespace

bool CPaRemover::RemoveSpyware(IProgressor& Progressor, const CChecksumList& WhiteList, const CChecksumList& BlackList,
                               std::wstring& FalseCause) {
  try {
    MWDL::ReInitFileManagers();
    if (Progressor.Cancelled()) return false;
    Progressor.Progress(1);

    SystemState state;
    CPaDetector().CompileSystemState(Progressor, kCompileFrom, kCompileTo, state);
    if (Progressor.Cancelled()) return false;
    Progressor.Progress(30);
    // A compilation that stopped on an error may have left the lists unset.
    const CFileNameList& allFiles = Required(state.oCommonFileList);
    const CFileNameList& suspiciousFiles = Required(state.oSuspiciousFileList);

    CKeyedCollection<std::wstring> toRemove;
    const std::int32_t total = Checked32(static_cast<std::int64_t>(allFiles.Count()) +
                                         static_cast<std::int64_t>(suspiciousFiles.Count()));
    FileCounter counter(Progressor, total);
    for (const std::wstring& file : suspiciousFiles) {
      if (!counter.Next()) return false;
      const std::int32_t checksum = ChecksumOf(file);
      if (!WhiteList.Exists(qn::NumberKey(checksum)) && !toRemove.Exists(qn::FileKey(file))) {
        toRemove.Add(file, qn::FileKey(file));
      }
    }
    for (const std::wstring& file : allFiles) {
      if (!counter.Next()) return false;
      const std::int32_t checksum = ChecksumOf(file);
      if (BlackList.Exists(qn::NumberKey(checksum)) && !toRemove.Exists(qn::FileKey(file))) {
        toRemove.Add(file, qn::FileKey(file));
      }
    }
    if (Progressor.Cancelled()) return false;
    Progressor.Progress(99);

    if (toRemove.Count() == 0) {
      FalseCause = LoadResString(kNothingFoundId);
      return false;
    }
    for (const std::wstring& file : toRemove) {
      MWDL::Log(0, L"Disabling " + file, kLogInfo, kSource);
    }
    CProcessManager manager;
    manager.RenameParasiteFilesEx(toRemove);
    manager.TerminateProcessesByModules(toRemove, true);
    return true;
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, kSource);
    return false;
  }
}
