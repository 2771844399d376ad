#pragma once
// Shared set-up of the enumerator tests: an in-memory machine, the program-wide objects the enumerators
// use, and a logger that keeps its lines.
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <set>
#include <string>
#include <vector>

#include "common/Error.h"
#include "common/KeyedCollection.h"

#include "common/Items.h"
#include "common/Logger.h"
#include "common/Registry.h"
#include "inspection/FilenameResolver.h"
#include "platform/FakeMachine.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"

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

// The fake registry with one more way to fail: reading a chosen value raises an error in the middle of
// a listing ("Out of memory"), as any call of the read path could. The registry object itself treats
// refused reads as empty, so this is how the enumerators' error handlers are reached.
class RaisingRegistry : public platform::IRegistry {
 public:
  explicit RaisingRegistry(platform::IRegistry& inner) : inner_(inner) {}
  void RaiseOnRead(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName) {
    raiseOn_.insert(Key(hive, keyPath, valueName));
  }
  long QueryValue(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                  platform::RegValue& value) override {
    // Running out of memory is what a read can really raise; the handlers log it as error 7.
    if (raiseOn_.count(Key(hive, keyPath, valueName)) != 0) throw std::bad_alloc();
    return inner_.QueryValue(hive, keyPath, valueName, value);
  }
  long SetValue(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName,
                const platform::RegValue& value) override {
    return inner_.SetValue(hive, keyPath, valueName, value);
  }
  long DeleteValue(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName) override {
    return inner_.DeleteValue(hive, keyPath, valueName);
  }
  long EnumKeys(platform::Hive hive, const std::wstring& keyPath, std::vector<std::wstring>& names) override {
    return inner_.EnumKeys(hive, keyPath, names);
  }
  long EnumValues(platform::Hive hive, const std::wstring& keyPath, std::vector<std::wstring>& names) override {
    return inner_.EnumValues(hive, keyPath, names);
  }
  long DeleteKey(platform::Hive hive, const std::wstring& keyPath) override { return inner_.DeleteKey(hive, keyPath); }
  long EnumCategoryClasses(const std::wstring& categoryId, std::vector<std::wstring>& classIds) override {
    return inner_.EnumCategoryClasses(categoryId, classIds);
  }

 private:
  static std::wstring Key(platform::Hive hive, const std::wstring& keyPath, const std::wstring& valueName) {
    return std::to_wstring(hive) + L"|" + qn::FoldKey(keyPath) + L"|" + qn::FoldKey(valueName);
  }
  platform::IRegistry& inner_;
  std::set<std::wstring> raiseOn_;
};

// Installs fresh doubles and program-wide objects; puts the previous ones back afterwards.
class InspectionEnumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedLogger_ = MWDL::goLogger;
    savedRegistry_ = MWDL::goRegistry;
    savedResolver_ = MWDL::goFilenameResolver;
    savedIsNT_ = MAPI::gbIsNT;
    MWDL::goLogger = logger;
    MWDL::goRegistry = std::make_shared<CRegistry>();
    MWDL::goFilenameResolver = std::make_shared<CFilenameResolver>();
    MAPI::gbIsNT = true;
    platform::Install(platform::Services{.registry = &raising});
  }
  void TearDown() override {
    MWDL::goLogger = savedLogger_;
    MWDL::goRegistry = savedRegistry_;
    MWDL::goFilenameResolver = savedResolver_;
    MAPI::gbIsNT = savedIsNT_;
  }

  // The names of a list's items, in order.
  static std::vector<std::wstring> Names(const CItemList& list) {
    std::vector<std::wstring> names;
    for (const auto& item : list) names.push_back(item->Name);
    return names;
  }
  // The property names of an item, in the order added.
  static std::vector<std::wstring> PropertyNames(const CItem& item) {
    std::vector<std::wstring> names;
    for (const auto& property : item.Properties()) names.push_back(property->Name());
    return names;
  }
  static const PropertyValue& Value(const CItem& item, const std::wstring& name) {
    return item.Properties().Item(name).Values().Item(1);
  }
  static std::wstring Text(const CItem& item, const std::wstring& name) {
    return std::get<std::wstring>(Value(item, name));
  }

  platform::FakeMachine machine;
  RaisingRegistry raising{machine.registry};
  std::shared_ptr<CapturingLogger> logger = std::make_shared<CapturingLogger>();

 private:
  std::shared_ptr<CLogger> savedLogger_;
  std::shared_ptr<CRegistry> savedRegistry_;
  std::shared_ptr<CFilenameResolver> savedResolver_;
  bool savedIsNT_ = false;
};
