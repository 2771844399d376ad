#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "common/Items.h"
#include "common/KeyedCollection.h"
#include "shell/Progressor.h"

// A list of file names: each full path is both item and key (no "_" prefix).
using CFileNameList = CKeyedCollection<std::wstring>;

// The eight collections of one compilation of the system state, in the order of the compilation's
// parameters. A null member is a collection the compilation did not reach (or that an enumerator
// returned as no list).
struct SystemState {
  std::shared_ptr<CFileNameList> oCommonFileList;      // every distinct file met
  std::shared_ptr<CFileNameList> oSuspiciousFileList;  // the files the analyser's rules marked
  std::shared_ptr<CItemList> oServices;
  std::shared_ptr<CItemList> oStartups;
  std::shared_ptr<CItemList> oBHOs;
  std::shared_ptr<CItemList> oToolbars;
  std::shared_ptr<CItemList> oExplorerBars;
  std::shared_ptr<CItemList> oProcesses;
};

// The detector: takes stock of the running system through every enumerator of the inspection and
// marks the suspicious files with a new analyser. Holds nothing between calls; a caller creates one
// for each compilation.
class CPaDetector {
 public:
  // Compiles the system state into the eight outputs, reporting progress from ProgressorFrom to
  // ProgressorTo on `Progressor` and stopping at a cancel. Each output that the compilation reaches is
  // replaced by a new collection; one it does not reach (a cancel or an error before it) keeps what
  // the caller's variable held. No error reaches the caller: an error is logged and the outputs keep
  // what had been set (a collection being filled holds the entries added so far).
  void CompileSystemState(IProgressor& Progressor, std::int32_t ProgressorFrom, std::int32_t ProgressorTo,
                          std::shared_ptr<CFileNameList>& oCommonFileList,
                          std::shared_ptr<CFileNameList>& oSuspiciousFileList,
                          std::shared_ptr<CItemList>& oServices, std::shared_ptr<CItemList>& oStartups,
                          std::shared_ptr<CItemList>& oBHOs, std::shared_ptr<CItemList>& oToolbars,
                          std::shared_ptr<CItemList>& oExplorerBars, std::shared_ptr<CItemList>& oProcesses);

  // The same, into the members of `state`.
  void CompileSystemState(IProgressor& Progressor, std::int32_t ProgressorFrom, std::int32_t ProgressorTo,
                          SystemState& state) {
    CompileSystemState(Progressor, ProgressorFrom, ProgressorTo, state.oCommonFileList, state.oSuspiciousFileList,
                       state.oServices, state.oStartups, state.oBHOs, state.oToolbars, state.oExplorerBars,
                       state.oProcesses);
  }
};
