#pragma once
#include <cstdint>
#include <string>
#include <variant>

#include "common/KeyedCollection.h"

// A number of a known-file table as it is stored: up to 32767 a 16-bit item, above that a 32-bit one.
// Readers never look at the item: a number is found by its key alone.
using CTableNumber = std::variant<std::int16_t, std::int32_t>;
using CNumberTable = CKeyedCollection<CTableNumber>;

// The analyser: decides file by file whether a file is suspicious, with one rule for each kind of
// inspected item, a known-good test for running modules and two parasite tests. It owns four tables of
// known files, filled when it is created and never changed afterwards:
//   moParasiteSizes  (A) sizes of known parasite files            read by IsParasiteRunningModule
//   moParasiteHashes (B) checksums of known parasite files        read by IsParasiteRunningModule
//   moGoodSizes      (C) sizes of running modules known good      read by IsGoodRunningModule
//   moGoodHashes     (D) checksums of running modules known good  read by IsGoodRunningModule
// A file is in a pair when its size is in the size table and its checksum in the partner checksum
// table; the checksum, which reads the whole file, is asked for only when the size was found.
//
// The facts the rules read, each only where a rule's step needs it: whether the file exists
// (goFileInfoManager's isFileExist), its company (goFileInfoManager's GetFileInfo), its size
// (MAPI::GetFileSizeByName) and its checksum (goHashier's HashFromFullFileName).
//
// Every rule traps its own errors: it logs the error (level 0, source "CPaAnalyser.<rule>") and
// answers false; no error reaches the caller. The rules keep no state between calls.
class CPaAnalyser {
 public:
  // Creates the four tables empty, in the order above, then fills them: FillParasiteSizes,
  // FillParasiteHashes, FillGoodSizes, FillGoodHashes1, FillGoodHashes2, FillGoodHashes3. Traps no
  // error: a refused Add ends the creation and reaches the creator.
  CPaAnalyser();

  // A process image or loaded module: it exists, is not known good (IsGoodRunningModule), and its
  // company is empty or, lower-cased, "ie toolbar".
  bool IsSuspiciousRunningModule(const std::wstring& FileName);
  // A service's or startup entry's file: it exists and has no company. The same rule.
  bool IsSuspiciousService(const std::wstring& FileName);
  bool IsSuspiciousStartup(const std::wstring& FileName);
  // The name "\systemroot\system32\smss.exe" in any letter case (no file is asked about), or a file
  // without a company whose size is in table C and whose checksum is in table D.
  bool IsGoodRunningModule(const std::wstring& FileName);
  // A browser helper object's, toolbar's or explorer bar's file: it exists. The same rule.
  bool IsSuspiciousBHO(const std::wstring& FileName);
  bool IsSuspiciousToolbar(const std::wstring& FileName);
  bool IsSuspiciousExplorerBar(const std::wstring& FileName);
  // A file without a company whose path does not end in "\acroiehelper.ocx", "\pcshared\nmiehelp.dll"
  // or "\acroiefavclient.dll" (any letter case). Does not ask whether the file exists.
  bool IsParasiteBHO(const std::wstring& FileName);
  // A base name containing ".tmp" (any case), a colon after the last backslash, a file whose size is in
  // table A and checksum in table B, or a file without a company whose path ends in "32.exe" or
  // "\se.dll" (any case).
  bool IsParasiteRunningModule(const std::wstring& FileName);

  // The tables, to read (their keys answer whether a number is in them).
  const CNumberTable& ParasiteSizes() const noexcept { return moParasiteSizes; }
  const CNumberTable& ParasiteHashes() const noexcept { return moParasiteHashes; }
  const CNumberTable& GoodSizes() const noexcept { return moGoodSizes; }
  const CNumberTable& GoodHashes() const noexcept { return moGoodHashes; }

 private:
  void FillParasiteSizes();
  void FillParasiteHashes();
  void FillGoodSizes();
  void FillGoodHashes1();
  void FillGoodHashes2();
  void FillGoodHashes3();

  CNumberTable moParasiteSizes;
  CNumberTable moParasiteHashes;
  CNumberTable moGoodSizes;
  CNumberTable moGoodHashes;
};
