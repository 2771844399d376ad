#include "detection/PaDetector.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <variant>

#include "common/Error.h"
#include "common/Logger.h"
#include "detection/PaAnalyser.h"
#include "inspection/IEManager.h"
#include "inspection/ProcessManager.h"
#include "inspection/ServiceManager.h"
#include "inspection/StartupManager.h"
#include "shell/MWDL.h"

namespace {

// The progress value at fraction k of the band: from + (to - from) * k, in double precision and not
// rounded. The difference is a 32-bit subtraction: a band too wide for it is an overflow error.
double ProgressPoint(std::int32_t from, std::int32_t to, double k) {
  const std::int64_t difference = static_cast<std::int64_t>(to) - static_cast<std::int64_t>(from);
  if (difference < std::numeric_limits<std::int32_t>::min() || difference > std::numeric_limits<std::int32_t>::max()) {
    throw CError(err::kOverflow, L"Overflow");
  }
  return static_cast<double>(difference) * k + static_cast<double>(from);
}

// A list to walk. An enumerator that failed returned no list: walking it is the "object not set" error.
const CItemList& Walk(const std::shared_ptr<CItemList>& list) { return Required(list); }

// The file of a startup entry or browser extension: the first value of its "DLL" property, as text. An
// item without the property or without a value in it raises the collection's error.
std::wstring DllOf(const CItem& item) {
  const PropertyValue& value = item.Properties().Item(L"DLL").Values().Item(1);
  if (const auto* text = std::get_if<std::wstring>(&value)) return *text;
  return std::to_wstring(std::get<std::int32_t>(value));
}

using Rule = bool (CPaAnalyser::*)(const std::wstring&);

// Test-then-add into the suspicious files: a name already there is not judged again; another is added
// when `rule` marks it.
void Judge(CPaAnalyser& analyser, Rule rule, const std::wstring& file, CFileNameList& suspicious) {
  if (!suspicious.Exists(file) && (analyser.*rule)(file)) suspicious.Add(file, file);
}

// Test-then-add into the list of all files.
void Note(const std::wstring& file, CFileNameList& files) {
  if (!files.Exists(file)) files.Add(file, file);
}

}  // namespace

void CPaDetector::CompileSystemState(IProgressor& Progressor, std::int32_t ProgressorFrom, std::int32_t ProgressorTo,
                                     std::shared_ptr<CFileNameList>& oCommonFileList,
                                     std::shared_ptr<CFileNameList>& oSuspiciousFileList,
                                     std::shared_ptr<CItemList>& oServices, std::shared_ptr<CItemList>& oStartups,
                                     std::shared_ptr<CItemList>& oBHOs, std::shared_ptr<CItemList>& oToolbars,
                                     std::shared_ptr<CItemList>& oExplorerBars,
                                     std::shared_ptr<CItemList>& oProcesses) {
  try {
    Progressor.Progress(static_cast<double>(ProgressorFrom));

    CServiceManager serviceManager;
    oServices = serviceManager.EnumServices();
    CStartupManager startupManager;
    oStartups = startupManager.EnumStartups();
    CIEManager ieManager;
    oBHOs = ieManager.EnumBHOs();
    oToolbars = ieManager.EnumToolbars();
    oExplorerBars = ieManager.EnumExplorerBars();
    CProcessManager processManager;

    if (Progressor.Cancelled()) return;
    Progressor.Progress(ProgressPoint(ProgressorFrom, ProgressorTo, 0.14));
    oProcesses = processManager.EnumProcesses();

    if (Progressor.Cancelled()) return;
    Progressor.Progress(ProgressPoint(ProgressorFrom, ProgressorTo, 0.35));
    oSuspiciousFileList = std::make_shared<CFileNameList>();
    CFileNameList& suspicious = *oSuspiciousFileList;
    // Built here, after every enumeration, so that a cancel before this point builds no table.
    CPaAnalyser analyser;
    for (const auto& service : Walk(oServices)) {
      Judge(analyser, &CPaAnalyser::IsSuspiciousService, service->Name, suspicious);
    }

    if (Progressor.Cancelled()) return;
    Progressor.Progress(ProgressPoint(ProgressorFrom, ProgressorTo, 0.5));
    const std::pair<const std::shared_ptr<CItemList>*, Rule> extensions[] = {
        {&oStartups, &CPaAnalyser::IsSuspiciousStartup},
        {&oBHOs, &CPaAnalyser::IsSuspiciousBHO},
        {&oToolbars, &CPaAnalyser::IsSuspiciousToolbar},
        {&oExplorerBars, &CPaAnalyser::IsSuspiciousExplorerBar},
    };
    for (const auto& [list, rule] : extensions) {
      for (const auto& item : Walk(*list)) Judge(analyser, rule, DllOf(*item), suspicious);
    }

    if (Progressor.Cancelled()) return;
    Progressor.Progress(ProgressPoint(ProgressorFrom, ProgressorTo, 0.71));
    for (const auto& process : Walk(oProcesses)) {
      Judge(analyser, &CPaAnalyser::IsSuspiciousRunningModule, process->Name, suspicious);
      for (const auto& module : process->Children()) {
        Judge(analyser, &CPaAnalyser::IsSuspiciousRunningModule, module->Name, suspicious);
      }
    }

    oCommonFileList = std::make_shared<CFileNameList>();
    CFileNameList& files = *oCommonFileList;
    for (const auto& service : Walk(oServices)) Note(service->Name, files);
    for (const auto& extension : extensions) {
      for (const auto& item : Walk(*extension.first)) Note(DllOf(*item), files);
    }
    for (const auto& process : Walk(oProcesses)) {
      Note(process->Name, files);
      for (const auto& module : process->Children()) Note(module->Name, files);
    }

    if (Progressor.Cancelled()) return;
    Progressor.Progress(static_cast<double>(ProgressorTo));
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, L"CPaDetector.CompileSystemState");
  }
}
