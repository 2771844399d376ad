#include "detection/PaAnalyser.h"

#include <cstddef>
#include <string_view>

#include "common/Error.h"
#include "common/Logger.h"
#include "detection/tables/KnownFileTables.h"
#include "inspection/FileInfoManager.h"
#include "inspection/Hashier.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"

namespace {

CFileInfoManager& FileInfoManager() { return Required(MWDL::goFileInfoManager); }

CHashier& Hashier() { return Required(MWDL::goHashier); }

// The facts about a file, each read through the program-wide caches or routines.
bool FileExists(const std::wstring& fileName) { return FileInfoManager().isFileExist(fileName); }

std::wstring Company(const std::wstring& fileName) {
  std::wstring manufacturer;
  std::wstring description;
  FileInfoManager().GetFileInfo(fileName, manufacturer, &description);
  return manufacturer;
}

std::int32_t Size(const std::wstring& fileName) { return MAPI::GetFileSizeByName(fileName); }

std::int32_t Checksum(const std::wstring& fileName) {
  std::int32_t size = 0;  // what comes back in it is not used
  return Hashier().HashFromFullFileName(fileName, size);
}

bool Holds(const CNumberTable& table, std::int32_t n) { return table.Exists(qn::NumberKey(n)); }

// Lower-cases one letter. The rules compare with lower-case ASCII texts only, so what matters is which
// letters become ASCII: A to Z, and outside ASCII the capital I with dot (U+0130) and the Kelvin sign
// (U+212A), whose lower-case forms are i and k. Every other letter outside ASCII has a lower-case form
// outside ASCII and is left as it is, which gives every comparison the same answer.
wchar_t LowerChar(wchar_t c) noexcept {
  if (c >= L'A' && c <= L'Z') return static_cast<wchar_t>(c - L'A' + L'a');
  if (c == 0x130) return L'i';
  if (c == 0x212A) return L'k';
  return c;
}

std::wstring LowerCase(std::wstring text) {
  for (wchar_t& c : text) c = LowerChar(c);
  return text;
}

// `text`, lower-cased, equals `lower` (no copy of `text` is made).
bool EqualsLowered(std::wstring_view text, std::wstring_view lower) noexcept {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (LowerChar(text[i]) != lower[i]) return false;
  }
  return true;
}

// The last characters of `text`, lower-cased, equal `lower` (a text shorter than `lower` never does).
bool EndsWithLowered(std::wstring_view text, std::wstring_view lower) noexcept {
  return text.size() >= lower.size() && EqualsLowered(text.substr(text.size() - lower.size()), lower);
}

// Runs the body of rule `rule` under its error handler: an error is logged (level 0, source
// "CPaAnalyser.<rule>") and the answer is false. Nothing reaches the caller.
template <class Body>
bool Trapped(const wchar_t* rule, Body body) {
  try {
    return body();
  } catch (...) {
    MWDL::LogError(CurrentError(), kLogError, std::wstring(L"CPaAnalyser.") + rule);
    return false;
  }
}

// Appends each value of `values` to `table`, in order. Traps nothing: a refused Add ends it.
template <class Values>
void AddNumbers(CNumberTable& table, const Values& values) {
  table.Reserve(table.Count() + values.size());
  for (const auto value : values) table.Add(CTableNumber(value), qn::NumberKey(value));
}

}  // namespace

CPaAnalyser::CPaAnalyser() {
  FillParasiteSizes();
  FillParasiteHashes();
  FillGoodSizes();
  FillGoodHashes1();
  FillGoodHashes2();
  FillGoodHashes3();
}

void CPaAnalyser::FillParasiteSizes() {
  AddNumbers(moParasiteSizes, tables::kParasiteSizes16);
  AddNumbers(moParasiteSizes, tables::kParasiteSizes32);
}

void CPaAnalyser::FillParasiteHashes() { AddNumbers(moParasiteHashes, tables::kParasiteHashes); }

void CPaAnalyser::FillGoodSizes() {
  AddNumbers(moGoodSizes, tables::kGoodSizes16);
  AddNumbers(moGoodSizes, tables::kGoodSizes32);
}

void CPaAnalyser::FillGoodHashes1() { AddNumbers(moGoodHashes, tables::kGoodHashes1); }
void CPaAnalyser::FillGoodHashes2() { AddNumbers(moGoodHashes, tables::kGoodHashes2); }
void CPaAnalyser::FillGoodHashes3() { AddNumbers(moGoodHashes, tables::kGoodHashes3); }

bool CPaAnalyser::IsSuspiciousRunningModule(const std::wstring& FileName) {
  return Trapped(L"IsSuspiciousRunningModule", [&] {
    if (!FileExists(FileName)) return false;
    // Errors of the known-good test are its own: it logs them and answers false.
    if (IsGoodRunningModule(FileName)) return false;
    const std::wstring company = Company(FileName);
    if (company.empty()) return true;
    return EqualsLowered(company, L"ie toolbar");
  });
}

bool CPaAnalyser::IsSuspiciousService(const std::wstring& FileName) {
  return Trapped(L"IsSuspiciousService", [&] { return FileExists(FileName) && Company(FileName).empty(); });
}

bool CPaAnalyser::IsSuspiciousStartup(const std::wstring& FileName) {
  return Trapped(L"IsSuspiciousStartup", [&] { return FileExists(FileName) && Company(FileName).empty(); });
}

bool CPaAnalyser::IsGoodRunningModule(const std::wstring& FileName) {
  return Trapped(L"IsGoodRunningModule", [&] {
    // The session manager as the kernel names it: known good without looking at any file.
    if (EqualsLowered(FileName, L"\\systemroot\\system32\\smss.exe")) return true;
    if (!Company(FileName).empty()) return false;
    if (!Holds(moGoodSizes, Size(FileName))) return false;
    return Holds(moGoodHashes, Checksum(FileName));
  });
}

bool CPaAnalyser::IsSuspiciousBHO(const std::wstring& FileName) {
  return Trapped(L"IsSuspiciousBHO", [&] { return FileExists(FileName); });
}

bool CPaAnalyser::IsSuspiciousToolbar(const std::wstring& FileName) {
  return Trapped(L"IsSuspiciousToolbar", [&] { return FileExists(FileName); });
}

bool CPaAnalyser::IsSuspiciousExplorerBar(const std::wstring& FileName) {
  return Trapped(L"IsSuspiciousExplorerBar", [&] { return FileExists(FileName); });
}

bool CPaAnalyser::IsParasiteBHO(const std::wstring& FileName) {
  return Trapped(L"IsParasiteBHO", [&] {
    if (!Company(FileName).empty()) return false;
    // Helpers of well-known products that ship without version data.
    for (const wchar_t* known : {L"\\acroiehelper.ocx", L"\\pcshared\\nmiehelp.dll", L"\\acroiefavclient.dll"}) {
      if (EndsWithLowered(FileName, known)) return false;
    }
    return true;
  });
}

bool CPaAnalyser::IsParasiteRunningModule(const std::wstring& FileName) {
  return Trapped(L"IsParasiteRunningModule", [&] {
    const std::wstring lower = LowerCase(FileName);
    const std::size_t slash = lower.rfind(L'\\');
    const std::wstring_view baseName =
        slash == std::wstring::npos ? std::wstring_view(lower) : std::wstring_view(lower).substr(slash + 1);
    if (baseName.find(L".tmp") != std::wstring_view::npos) return true;
    // A colon after the last backslash: a stream after the file name, or a drive without a folder.
    const std::size_t colon = FileName.rfind(L':');
    const std::size_t backslash = FileName.rfind(L'\\');
    if (colon != std::wstring::npos && (backslash == std::wstring::npos || colon > backslash)) return true;

    const std::int32_t size = Size(FileName);
    if (size == 0) return false;
    if (Holds(moParasiteSizes, size) && Holds(moParasiteHashes, Checksum(FileName))) return true;
    if (EndsWithLowered(FileName, L"32.exe") || EndsWithLowered(FileName, L"\\se.dll")) {
      return Company(FileName).empty();
    }
    return false;
  });
}
