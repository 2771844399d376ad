// vbzip10.dll's archive writer on any job: files of any names, contents, times and attributes, at any
// level, with or without folder names. The archive it writes reads back through zlib to exactly the
// names and bytes that went in; a job it refuses is refused for the reason the job gives, before an
// archive is started, and leaves no archive.
#include <cctype>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzSupport.h"
#include "tests/zip/MemoryZip.h"
#include "zip/ZipWriter.h"

namespace {

class CheckingProgress final : public zip::IProgress {
 public:
  std::vector<zip::EntryReport> added;
  bool Adding(const std::string&, std::uint64_t) override { return true; }
  void Added(const zip::EntryReport& entry) override { added.push_back(entry); }
};

std::string Folded(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

// What WriteArchive must answer for the job before it looks at a file.
std::int32_t ExpectedRefusal(const zip::Job& job) {
  if (job.paths.empty()) return kZipErrorNothing;
  if (job.level < 0 || job.level > 9) return kZipErrorParameters;
  std::set<std::string> names;
  for (const std::string& path : job.paths) {
    const std::string name = zip::StoredName(path, job.junkFolderNames);
    if (name.empty() || !names.insert(Folded(name)).second) return kZipErrorParameters;
  }
  return kZipOk;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  ziptest::MemoryFiles files;
  zip::Job job{"fuzz.zip", {}};
  job.junkFolderNames = input.ConsumeBool();
  job.level = input.ConsumeBool() ? input.ConsumeIntegralInRange(0, 9) : input.ConsumeIntegralInRange(-2, 12);
  const int count = input.ConsumeIntegralInRange(0, 8);
  for (int i = 0; i < count; ++i) {
    job.paths.push_back(input.ConsumeRandomLengthString(64));
    if (files.files.count(job.paths.back()) != 0) continue;  // the same path again: the same file
    const std::uint16_t time = input.ConsumeIntegral<std::uint16_t>();
    const std::uint16_t date = input.ConsumeIntegral<std::uint16_t>();
    const std::uint8_t attributes = input.ConsumeIntegral<std::uint8_t>();
    const std::string bytes = input.ConsumeRandomLengthString(1 << 16);
    files.Add(job.paths.back(), ziptest::Bytes(bytes.begin(), bytes.end()), time, date).facts.dosAttributes = attributes;
  }

  CheckingProgress progress;
  const zip::Outcome outcome = zip::WriteArchive(job, files, progress);
  FUZZ_CHECK(outcome.result == ExpectedRefusal(job));
  if (outcome.result != kZipOk) {
    FUZZ_CHECK(!files.created && !files.committed);
    return 0;
  }

  FUZZ_CHECK(files.committed && !files.dropped);
  // The reader throws for anything that is not a sound archive; the fuzzer reports that as a crash.
  const std::vector<ziptest::ReadEntry> entries = ziptest::ReadArchive(files.archive);
  FUZZ_CHECK(entries.size() == job.paths.size() && progress.added.size() == job.paths.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const ziptest::MemoryFile& file = files.files[job.paths[i]];
    FUZZ_CHECK(entries[i].name == zip::StoredName(job.paths[i], job.junkFolderNames));
    FUZZ_CHECK(entries[i].data == file.bytes);
    FUZZ_CHECK(entries[i].time == file.facts.dosTime && entries[i].date == file.facts.dosDate);
    FUZZ_CHECK(entries[i].externalAttributes == file.facts.dosAttributes);
    FUZZ_CHECK(progress.added[i].storedName == entries[i].name && progress.added[i].size == file.bytes.size());
    FUZZ_CHECK(progress.added[i].deflated == (entries[i].method == 8));
  }
  return 0;
}
