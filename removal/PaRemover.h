#pragma once
#include <cstdint>
#include <string>

#include "common/KeyedCollection.h"
#include "detection/PaDetector.h"
#include "shell/Progressor.h"

// A list of checksums of a removal script: item = the checksum, key = "_" + its decimal digits.
using CChecksumList = CKeyedCollection<std::int32_t>;

// Carries out a checked removal script: compiles the system state afresh, selects files by checksum
// and hands them to the renaming and termination of CProcessManager. A window creates a new one for
// each run.
class CPaRemover {
 public:
  // Compiles the system state afresh with a new CPaDetector, then selects the suspicious files whose
  // checksum is not on `WhiteList`, then every file whose checksum is on `BlackList` (each file once, in
  // that order), logs "Disabling <file>" for each, renames them to
  // their parasite names with their record and ends every process that has one of them loaded, this
  // program's own process included (then the call does not return). Progress: 1, the compilation
  // from 1 to 30, 30, one value after every tenth file, 99.
  // True when files were selected and handed on. False when nothing was selected (`FalseCause` =
  // string 115), when the run was cancelled (nothing renamed) or after an error, which is logged at
  // level 0 (renames already done stay, with their records); `FalseCause` is unchanged in both.
  bool RemoveSpyware(IProgressor& Progressor, const CChecksumList& WhiteList, const CChecksumList& BlackList,
                     std::wstring& FalseCause);
};
