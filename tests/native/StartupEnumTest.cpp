#include <string>
#include <utility>
#include <vector>

#include "InspectionEnumFixture.h"
#include "inspection/StartupManager.h"

using platform::Hive;
using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;

namespace {

const std::wstring kCV = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
const std::wstring kRun = kCV + L"Run";
const std::wstring kPolicies = kCV + L"policies\\Explorer\\Run";

class StartupEnumTest : public InspectionEnumTest {
 protected:
  std::shared_ptr<CItemList> Enumerate() { return CStartupManager().EnumStartups(); }
  void Set(Hive hive, const std::wstring& key, const std::wstring& name, const std::wstring& data) {
    machine.registry.SetString(hive, key, name, data);
  }
  // (hive as stored, key path) of each item, in order.
  static std::vector<std::pair<std::int32_t, std::wstring>> Keys(const CItemList& list) {
    std::vector<std::pair<std::int32_t, std::wstring>> keys;
    for (const auto& item : list) keys.emplace_back(std::get<std::int32_t>(Value(*item, L"Key")), Text(*item, L"Hive"));
    return keys;
  }
  static std::vector<std::wstring> Files(const CItemList& list) {
    std::vector<std::wstring> files;
    for (const auto& item : list) files.push_back(Text(*item, L"DLL"));
    return files;
  }
};

constexpr std::int32_t kLM = -2147483646;
constexpr std::int32_t kCU = -2147483647;

}  // namespace

TEST_F(StartupEnumTest, ReadsEveryKeyInOrderLocalMachineFirst) {
  // Written in reverse so that the order comes from the enumerator, not from the registry.
  const std::pair<Hive, std::wstring> keys[] = {
      {kHkeyCurrentUser, kPolicies},           {kHkeyLocalMachine, kPolicies},
      {kHkeyCurrentUser, kCV + L"RunServicesOnce"}, {kHkeyLocalMachine, kCV + L"RunServicesOnce"},
      {kHkeyLocalMachine, kCV + L"RunOnce\\Setup"}, {kHkeyCurrentUser, kCV + L"RunOnce"},
      {kHkeyLocalMachine, kCV + L"RunOnce"},   {kHkeyCurrentUser, kCV + L"RunServices"},
      {kHkeyLocalMachine, kCV + L"RunServices"}, {kHkeyCurrentUser, kRun},
      {kHkeyLocalMachine, kRun},
  };
  for (const auto& [hive, key] : keys) Set(hive, key, L"v", L"C:\\Apps\\x.exe");
  Set(kHkeyCurrentUser, kCV + L"RunOnce\\Setup", L"v", L"C:\\Apps\\cu-setup.exe");  // not read

  auto list = Enumerate();
  ASSERT_NE(list, nullptr);
  const std::vector<std::pair<std::int32_t, std::wstring>> expected = {
      {kLM, kRun},
      {kCU, kRun},
      {kLM, kCV + L"RunServices"},
      {kCU, kCV + L"RunServices"},
      {kLM, kCV + L"RunOnce"},
      {kCU, kCV + L"RunOnce"},
      {kLM, kCV + L"RunOnce\\Setup"},
      {kLM, kCV + L"RunServicesOnce"},
      {kCU, kCV + L"RunServicesOnce"},
      {kLM, kPolicies},
      {kCU, kPolicies},
  };
  EXPECT_EQ(Keys(*list), expected);
  EXPECT_TRUE(logger->lines.empty());
}

TEST_F(StartupEnumTest, ItemHoldsFileHiveNumberKeyPathAndValueName) {
  Set(kHkeyCurrentUser, kRun, L"Updater", L"\"C:\\Program Files\\Up\\up.exe\" /silent");
  auto list = Enumerate();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), 1u);
  const CItem& item = list->Item(1);
  EXPECT_EQ(PropertyNames(item), (std::vector<std::wstring>{L"DLL", L"Key", L"Hive", L"ValueName"}));
  EXPECT_EQ(Text(item, L"DLL"), L"C:\\Program Files\\Up\\up.exe");
  ASSERT_TRUE(std::holds_alternative<std::int32_t>(Value(item, L"Key")));
  EXPECT_EQ(std::get<std::int32_t>(Value(item, L"Key")), kCU);
  EXPECT_EQ(Text(item, L"Hive"), kRun);
  EXPECT_EQ(Text(item, L"ValueName"), L"Updater");
  // The name is a fresh identifier, not the value name.
  EXPECT_FALSE(item.Name.empty());
  EXPECT_NE(item.Name, L"Updater");
}

TEST_F(StartupEnumTest, ValuesThatNameNoFileGiveNoItem) {
  for (const std::wstring& key : {kRun, kPolicies}) {
    Set(kHkeyLocalMachine, key, L"empty", L"");
    Set(kHkeyLocalMachine, key, L"blanks", L"   ");
    Set(kHkeyLocalMachine, key, L"quotes", L"\"\"");
    Set(kHkeyLocalMachine, key, L"real", L"C:\\Apps\\real.exe -x");
  }
  machine.registry.SetDword(kHkeyLocalMachine, kRun, L"number", 7);  // read as its digits
  auto list = Enumerate();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Files(*list), (std::vector<std::wstring>{L"C:\\Apps\\real.exe", L"7", L"C:\\Apps\\real.exe"}));
}

TEST_F(StartupEnumTest, SameFileTwiceGivesTwoItemsWithOwnIdentifiers) {
  Set(kHkeyLocalMachine, kRun, L"one", L"C:\\Apps\\same.exe");
  Set(kHkeyLocalMachine, kRun, L"two", L"C:\\Apps\\same.exe /b");
  auto list = Enumerate();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), 2u);
  EXPECT_EQ(Files(*list), (std::vector<std::wstring>{L"C:\\Apps\\same.exe", L"C:\\Apps\\same.exe"}));
  EXPECT_NE(list->Item(1).Name, list->Item(2).Name);
  EXPECT_EQ(Text(list->Item(2), L"ValueName"), L"two");
}

TEST_F(StartupEnumTest, FileFoundOnTheSearchPathGivesItsFullPath) {
  machine.files.AddFile(L"C:\\Windows\\System32\\ctfmon.exe", {'M', 'Z'});
  machine.files.AddSearchFolder(L"C:\\Windows\\System32");
  Set(kHkeyCurrentUser, kRun, L"ctfmon", L"ctfmon.exe");
  auto list = Enumerate();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Files(*list), (std::vector<std::wstring>{L"C:\\Windows\\System32\\ctfmon.exe"}));
}

// A failing value ends its key's listing only; the next key is still read.
TEST_F(StartupEnumTest, ErrorInOneKeyIsLoggedAndTheNextKeyRead) {
  Set(kHkeyLocalMachine, kRun, L"first", L"C:\\Apps\\first.exe");
  Set(kHkeyLocalMachine, kRun, L"broken", L"C:\\Apps\\broken.exe");
  Set(kHkeyLocalMachine, kRun, L"after", L"C:\\Apps\\after.exe");
  Set(kHkeyCurrentUser, kRun, L"user", L"C:\\Apps\\user.exe");
  raising.RaiseOnRead(kHkeyLocalMachine, kRun, L"broken");
  auto list = Enumerate();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Files(*list), (std::vector<std::wstring>{L"C:\\Apps\\first.exe", L"C:\\Apps\\user.exe"}));
  ASSERT_EQ(logger->lines.size(), 1u);
  EXPECT_EQ(logger->lines[0].level, 4);
  EXPECT_EQ(logger->lines[0].source, L"CStartupManager.FillItemInfo");
  EXPECT_EQ(logger->lines[0].number, err::kOutOfMemory);
  EXPECT_EQ(logger->lines[0].message, L"Out of memory");
}

// A value the registry refuses to give reads as empty: no item and no log line.
TEST_F(StartupEnumTest, RefusedValueReadsAsEmpty) {
  Set(kHkeyLocalMachine, kRun, L"locked", L"C:\\Apps\\locked.exe");
  Set(kHkeyLocalMachine, kRun, L"open", L"C:\\Apps\\open.exe");
  machine.registry.FailQuery(kHkeyLocalMachine, kRun, L"locked", platform::kErrorAccessDenied);
  auto list = Enumerate();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Files(*list), (std::vector<std::wstring>{L"C:\\Apps\\open.exe"}));
  EXPECT_TRUE(logger->lines.empty());
}

// Outside the per-key listing an error costs the whole list.
TEST_F(StartupEnumTest, ErrorOutsideAKeysListingGivesNoList) {
  struct Case {
    const char* what;
    std::wstring failingKey;
    bool failEnum;
  };
  const Case cases[] = {
      {"names of a Run key", kCV + L"RunOnce", true},
      {"names of the policies key", kPolicies, true},
      {"a policies value", kPolicies, false},
  };
  for (const Case& c : cases) {
    machine.registry.Clear();
    logger->lines.clear();
    Set(kHkeyLocalMachine, kRun, L"first", L"C:\\Apps\\first.exe");
    Set(kHkeyLocalMachine, c.failingKey, L"v", L"C:\\Apps\\v.exe");
    if (c.failEnum) {
      machine.registry.FailEnum(kHkeyLocalMachine, c.failingKey, platform::kErrorAccessDenied);
    } else {
      raising.RaiseOnRead(kHkeyLocalMachine, c.failingKey, L"v");
    }
    EXPECT_EQ(Enumerate(), nullptr) << c.what;
    ASSERT_EQ(logger->lines.size(), 1u) << c.what;
    EXPECT_EQ(logger->lines[0].level, 4) << c.what;
    EXPECT_EQ(logger->lines[0].source, L"CStartupManager.EnumStartups") << c.what;
  }
}

TEST_F(StartupEnumTest, MissingKeysGiveAnEmptyList) {
  auto list = Enumerate();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->Count(), 0u);
  EXPECT_TRUE(logger->lines.empty());
}
