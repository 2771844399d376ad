#include "zip/ZipOptions.h"

#include <utility>

namespace zip {
namespace {

struct Refused {
  std::int32_t ZipOptionRecord::*field;
  const char* name;
};

// Options that change what an archive holds or how it is made, none of them implemented: any value but
// 0 is refused rather than answered with an archive that ignores it.
constexpr Refused kRefused[] = {
    {&ZipOptionRecord::useTempFolder, "temporary folder"},
    {&ZipOptionRecord::suffixes, "suffixes"},
    {&ZipOptionRecord::encrypt, "encryption"},
    {&ZipOptionRecord::storeVolumeLabel, "volume label"},
    {&ZipOptionRecord::excludeAfterDate, "exclusion by date"},
    {&ZipOptionRecord::includeAfterDate, "inclusion by date"},
    {&ZipOptionRecord::crlfToLf, "CR LF to LF translation"},
    {&ZipOptionRecord::lfToCrlf, "LF to CR LF translation"},
    {&ZipOptionRecord::grow, "appending to an archive"},
    {&ZipOptionRecord::forceDosNames, "DOS names"},
    {&ZipOptionRecord::move, "moving files"},
    {&ZipOptionRecord::deleteEntries, "deleting entries"},
    {&ZipOptionRecord::update, "update"},
    {&ZipOptionRecord::freshen, "freshen"},
    {&ZipOptionRecord::junkSfx, "removing an SFX prefix"},
    {&ZipOptionRecord::latestTime, "archive time of the latest file"},
    {&ZipOptionRecord::comment, "archive comment"},
    {&ZipOptionRecord::offsets, "SFX offsets"},
    {&ZipOptionRecord::privileges, "privileges"},
    {&ZipOptionRecord::recurse, "recursion into folders"},
    {&ZipOptionRecord::repair, "repair"},
};

// The texts of Info-ZIP zip's error codes, as far as this library gives them.
const char* ResultText(std::int32_t result) {
  switch (result) {
    case kZipErrorMemory: return "Out of memory";
    case kZipErrorLogic: return "Internal logic error";
    case kZipErrorBig: return "Entry too big to split, read, or write";
    case kZipErrorAbort: return "Interrupted";
    case kZipErrorRead: return "Input file read failure";
    case kZipErrorNothing: return "Nothing to do!";
    case kZipErrorWrite: return "Output file write failure";
    case kZipErrorCreate: return "Could not create output file";
    case kZipErrorParameters: return "Invalid command arguments";
    case kZipErrorOpen: return "File not found or no read permission";
    default: return "Unknown error";
  }
}

}  // namespace

Outcome ReadOptions(const ZipOptionRecord& options, Settings& settings) {
  for (const Refused& r : kRefused) {
    if (options.*r.field != 0) return {kZipErrorParameters, std::string(r.name) + " is not supported"};
  }
  int level = 6;
  if (options.level >= '0' && options.level <= '9') {
    level = options.level - '0';
  } else if (options.level != 0) {
    return {kZipErrorParameters, "level byte " + std::to_string(static_cast<unsigned char>(options.level))};
  }
  std::string root = options.rootFolder ? options.rootFolder : "";
  if (root.find_first_not_of(' ') == std::string::npos) root.clear();
  settings.junkFolderNames = options.junkFolderNames != 0;
  settings.quiet = options.quiet != 0;
  settings.level = level;
  settings.rootFolder = std::move(root);
  return {};
}

int Percent(std::uint64_t size, std::uint64_t compressedSize) {
  if (size == 0 || compressedSize >= size) return 0;
  return static_cast<int>((200 * (size - compressedSize) / size + 1) / 2);
}

std::string AddingLine(const EntryReport& entry) {
  return "  adding: " + entry.storedName + (entry.deflated ? " (deflated " : " (stored ") +
         std::to_string(Percent(entry.size, entry.compressedSize)) + "%)\n";
}

std::string ErrorLine(const Outcome& outcome) {
  std::string line = std::string("zip error: ") + ResultText(outcome.result);
  if (!outcome.detail.empty()) line += " (" + outcome.detail + ")";
  return line + "\n";
}

}  // namespace zip
