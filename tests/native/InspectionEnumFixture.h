#pragma once
// Shared set-up of the enumerator tests: an in-memory machine, the program-wide objects the enumerators
// use, and a logger that keeps its lines.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "common/Items.h"
#include "common/KeyedCollection.h"
#include "common/Logger.h"
#include "common/Registry.h"
#include "inspection/FilenameResolver.h"
#include "tests/doubles/FakeMachine.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"

// The hives as items store them.
constexpr std::int32_t kLM = -2147483646;
constexpr std::int32_t kCU = -2147483647;

struct LogLine {
  long number = 0;
  std::wstring message;
  int level = 0;
  std::wstring source;
};

class CapturingLogger : public CLogger {
 public:
  void Log(long errorNumber, const std::wstring& message, int level, const std::wstring& source) override {
    lines.push_back(LogLine{errorNumber, message, level, source});
  }
  std::vector<LogLine> lines;
};

// The fake registry with one more way to fail: reading a chosen value raises "Out of memory" (logged
// as error 7) in the middle of a listing, as any read could. The registry object itself treats refused
// reads as empty, so this is how the enumerators' error handlers are reached.
class RaisingRegistry : public platform::FakeRegistry {
 public:
  void RaiseOnRead(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName) {
    raiseOn_.insert(Key(hive, keyPath, valueName));
  }
  long QueryValue(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                  platform::RegValue& value) override {
    if (raiseOn_.count(Key(hive, keyPath, valueName)) != 0) throw std::bad_alloc();
    return FakeRegistry::QueryValue(hive, keyPath, valueName, value);
  }

 private:
  static std::wstring Key(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName) {
    return std::to_wstring(hive) + L"|" + qn::FoldKey(keyPath) + L"|" + qn::FoldKey(valueName);
  }
  std::set<std::wstring> raiseOn_;
};

// Installs fresh doubles and program-wide objects; puts the previous ones back afterwards.
class InspectionEnumTest : public ::testing::Test {
 protected:
  using Log = std::vector<std::pair<int, std::wstring>>;
  using Texts = std::vector<std::wstring>;

  void SetUp() override {
    MWDL::goLogger = logger;
    MWDL::goRegistry = std::make_shared<CRegistry>();
    MWDL::goFilenameResolver = std::make_shared<CFilenameResolver>();
    MAPI::gbIsNT = true;
    platform::Install(platform::Services{.registry = &registry});
  }
  void TearDown() override {
    std::tie(MWDL::goLogger, MWDL::goRegistry, MWDL::goFilenameResolver, MAPI::gbIsNT) = saved_;
  }

  static Texts Names(const CItemList& list) {
    Texts names;
    for (const auto& item : list) names.push_back(item->Name);
    return names;
  }
  // The same of a list that may be missing: then a marker that no expectation holds.
  static Texts Names(const std::shared_ptr<CItemList>& list) { return list ? Names(*list) : Texts{L"(no list)"}; }
  // The property names of an item, in the order added.
  static Texts PropertyNames(const CItem& item) {
    Texts names;
    for (const auto& property : item.Properties()) names.push_back(property->Name());
    return names;
  }
  static const PropertyValue& Value(const CItem& item, const std::wstring& name) {
    return item.Properties().Item(name).Values().Item(1);
  }
  // One text property of every item, in order; of a missing list the marker.
  static Texts Column(const std::shared_ptr<CItemList>& list, const std::wstring& property) {
    if (!list) return {L"(no list)"};
    Texts texts;
    for (const auto& item : *list) texts.push_back(std::get<std::wstring>(Value(*item, property)));
    return texts;
  }
  // The named properties of every item, one record per item, in order; of a missing list the marker.
  using Record = std::vector<PropertyValue>;
  static std::vector<Record> Records(const std::shared_ptr<CItemList>& list, const Texts& properties) {
    if (!list) return {Record{L"(no list)"}};
    std::vector<Record> records;
    for (const auto& item : *list) {
      records.emplace_back();
      for (const std::wstring& property : properties) records.back().push_back(Value(*item, property));
    }
    return records;
  }
  // A class id in braces, 38 characters: {00000000-0000-0000-0000-0000000000nn}.
  static std::wstring Clsid(std::size_t n) {
    const std::wstring tail = std::to_wstring(n);
    return L"{00000000-0000-0000-0000-" + std::wstring(12 - tail.size(), L'0') + tail + L"}";
  }
  // (level, source) of each log line, in order.
  Log Logged() const {
    Log lines;
    for (const LogLine& line : logger->lines) lines.emplace_back(line.level, line.source);
    return lines;
  }
  // (number, level, source) of each log line, in order.
  using Errors = std::vector<std::tuple<long, int, std::wstring>>;
  Errors LoggedErrors() const {
    Errors lines;
    for (const LogLine& line : logger->lines) lines.emplace_back(line.number, line.level, line.source);
    return lines;
  }

  platform::FakeMachine machine;
  RaisingRegistry registry;
  std::shared_ptr<CapturingLogger> logger = std::make_shared<CapturingLogger>();

 private:
  std::tuple<std::shared_ptr<CLogger>, std::shared_ptr<CRegistry>, std::shared_ptr<CFilenameResolver>, bool> saved_{
      MWDL::goLogger, MWDL::goRegistry, MWDL::goFilenameResolver, MAPI::gbIsNT};
};
