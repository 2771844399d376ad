#pragma once
// What a run of vbzip10.dll takes from the option record, and the messages it prints.
#include <cstdint>
#include <string>

#include "zip/ZipDll.h"
#include "zip/ZipWriter.h"

namespace zip {

struct Settings {
  bool junkFolderNames = false;
  bool quiet = false;
  int level = 6;
  std::string rootFolder;  // ANSI, as given; empty when the record has none or only blanks
};

// The settings of `options`. An option that is not implemented (see ZipOptionRecord) or a level byte
// other than 0 and '0' to '9' gives kZipErrorParameters naming it, and leaves `settings` unchanged.
Outcome ReadOptions(const ZipOptionRecord& options, Settings& settings);

// How much smaller the data became, in whole percent rounded half up as Info-ZIP's zip rounds it: 0
// for an empty file or data no smaller than the file.
int Percent(std::uint64_t size, std::uint64_t compressedSize);
// "  adding: name (deflated 42%)\n" or "  adding: name (stored 0%)\n".
std::string AddingLine(const EntryReport& entry);
// "zip error: <what the result means> (<detail>)\n", e.g. "zip error: Nothing to do! (a.zip)\n".
std::string ErrorLine(const Outcome& outcome);

}  // namespace zip
