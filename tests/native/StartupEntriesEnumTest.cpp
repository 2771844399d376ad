// CStartupManager: the enumeration of the startup entries of the registry.
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "InspectionEnumFixture.h"
#include "inspection/StartupManager.h"

using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;

namespace {

const std::wstring kCV = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
const std::wstring kRun = kCV + L"Run";
const std::wstring kPolicies = kCV + L"policies\\Explorer\\Run";

class StartupEntriesEnumTest : public InspectionEnumTest {
 protected:
  std::shared_ptr<CItemList> Enumerate() { return CStartupManager().EnumStartups(); }
  void Set(platform::Hive hive, const std::wstring& key, const std::wstring& name, const std::wstring& data) {
    registry.SetString(hive, key, name, data);
  }
};

}  // namespace

TEST_F(StartupEntriesEnumTest, ReadsEveryKeyInOrderLocalMachineFirst) {
  // (hive as stored, key path), in the order expected.
  const std::vector<std::pair<std::int32_t, std::wstring>> keys = {
      {kLM, kRun},          {kCU, kRun},          {kLM, kCV + L"RunServices"},     {kCU, kCV + L"RunServices"},
      {kLM, kCV + L"RunOnce"}, {kCU, kCV + L"RunOnce"}, {kLM, kCV + L"RunOnce\\Setup"}, {kLM, kCV + L"RunServicesOnce"},
      {kCU, kCV + L"RunServicesOnce"}, {kLM, kPolicies}, {kCU, kPolicies},
  };
  // Written in reverse so that the order comes from the enumerator, not from the registry.
  for (auto it = keys.rbegin(); it != keys.rend(); ++it) {
    Set(it->first == kLM ? kHkeyLocalMachine : kHkeyCurrentUser, it->second, L"v", L"C:\\Apps\\x.exe");
  }
  Set(kHkeyCurrentUser, kCV + L"RunOnce\\Setup", L"v", L"C:\\Apps\\cu-setup.exe");  // not read
  std::vector<Record> expected;
  for (const auto& [hive, key] : keys) expected.push_back({hive, key});
  EXPECT_EQ(Records(Enumerate(), {L"Key", L"Hive"}), expected);
  EXPECT_TRUE(logger->lines.empty());
}

// The name of an item is a fresh identifier, not the value name: two values naming the same file
// give two items.
TEST_F(StartupEntriesEnumTest, ItemHoldsFileHiveNumberKeyPathAndValueNameUnderAnIdentifierOfItsOwn) {
  const std::wstring up = L"C:\\Program Files\\Up\\up.exe";
  Set(kHkeyCurrentUser, kRun, L"Updater", L"\"" + up + L"\" /silent");
  Set(kHkeyCurrentUser, kRun, L"Updater again", up);
  auto list = Enumerate();
  ASSERT_EQ(Records(list, {L"DLL", L"Key", L"Hive", L"ValueName"}),
            (std::vector<Record>{{up, kCU, kRun, L"Updater"}, {up, kCU, kRun, L"Updater again"}}));
  EXPECT_EQ(PropertyNames(list->Item(1)), (Texts{L"DLL", L"Key", L"Hive", L"ValueName"}));
  const Texts names = Names(list);
  EXPECT_FALSE(names[0].empty());
  EXPECT_NE(names[0], L"Updater");
  EXPECT_NE(names[0], names[1]);
}

TEST_F(StartupEntriesEnumTest, ValuesThatNameNoFileGiveNoItem) {
  for (const std::wstring& key : {kRun, kPolicies}) {
    Set(kHkeyLocalMachine, key, L"empty", L"");
    Set(kHkeyLocalMachine, key, L"blanks", L"   ");
    Set(kHkeyLocalMachine, key, L"quotes", L"\"\"");
    Set(kHkeyLocalMachine, key, L"real", L"C:\\Apps\\real.exe -x");
  }
  registry.SetDword(kHkeyLocalMachine, kRun, L"number", 7);  // read as its digits
  EXPECT_EQ(Column(Enumerate(), L"DLL"), (Texts{L"C:\\Apps\\real.exe", L"7", L"C:\\Apps\\real.exe"}));
}

TEST_F(StartupEntriesEnumTest, FileFoundOnTheSearchPathGivesItsFullPath) {
  machine.files.AddFile(L"C:\\Windows\\System32\\ctfmon.exe", {'M', 'Z'});
  machine.files.AddSearchFolder(L"C:\\Windows\\System32");
  Set(kHkeyCurrentUser, kRun, L"ctfmon", L"ctfmon.exe");
  EXPECT_EQ(Column(Enumerate(), L"DLL"), Texts{L"C:\\Windows\\System32\\ctfmon.exe"});
}

// A failing value ends its key's listing only and is logged; the next key is still read. A value the
// registry refuses to give reads as empty: no item and no log line.
TEST_F(StartupEntriesEnumTest, ErrorInOneKeyIsLoggedAndTheNextKeyRead) {
  Set(kHkeyLocalMachine, kRun, L"first", L"C:\\Apps\\first.exe");
  Set(kHkeyLocalMachine, kRun, L"broken", L"C:\\Apps\\broken.exe");
  Set(kHkeyLocalMachine, kRun, L"after", L"C:\\Apps\\after.exe");
  Set(kHkeyCurrentUser, kRun, L"locked", L"C:\\Apps\\locked.exe");
  Set(kHkeyCurrentUser, kRun, L"user", L"C:\\Apps\\user.exe");
  registry.RaiseOnRead(kHkeyLocalMachine, kRun, L"broken");
  registry.FailQuery(kHkeyCurrentUser, kRun, L"locked", platform::kErrorAccessDenied);
  EXPECT_EQ(Column(Enumerate(), L"DLL"), (Texts{L"C:\\Apps\\first.exe", L"C:\\Apps\\user.exe"}));
  ASSERT_EQ(LoggedErrors(), (Errors{{err::kOutOfMemory, 4, L"CStartupManager.FillItemInfo"}}));
  EXPECT_EQ(logger->lines[0].message, L"Out of memory");
}

// Outside the per-key listing an error costs the whole list.
TEST_F(StartupEntriesEnumTest, ErrorOutsideAKeysListingGivesNoList) {
  struct Case { const char* what; std::wstring failingKey; bool failEnum; };
  const Case cases[] = {
      {"names of a Run key", kCV + L"RunOnce", true},
      {"names of the policies key", kPolicies, true},
      {"a policies value", kPolicies, false},
  };
  for (const Case& c : cases) {
    registry.Clear();
    logger->lines.clear();
    Set(kHkeyLocalMachine, kRun, L"first", L"C:\\Apps\\first.exe");
    Set(kHkeyLocalMachine, c.failingKey, L"v", L"C:\\Apps\\v.exe");
    if (c.failEnum) {
      registry.FailEnum(kHkeyLocalMachine, c.failingKey, platform::kErrorAccessDenied);
    } else {
      registry.RaiseOnRead(kHkeyLocalMachine, c.failingKey, L"v");
    }
    EXPECT_EQ(Enumerate(), nullptr) << c.what;
    EXPECT_EQ(Logged(), (Log{{4, L"CStartupManager.EnumStartups"}})) << c.what;
  }
}

TEST_F(StartupEntriesEnumTest, MissingKeysGiveAnEmptyList) {
  EXPECT_EQ(Names(Enumerate()), Texts{});
  EXPECT_TRUE(logger->lines.empty());
}

// On 64-bit Windows each key of the local machine is read in the 32-bit programs' view too, right after
// the same key, and its items name the key as the 64-bit view does and their files as a 32-bit program
// finds them; a key of the 32-bit view alone ("RunOnce\Setup") is read there. The current user's keys
// are read once, and so is a key that both views share (as Windows shares the policies key). A system
// without a second view lists the native view only.
TEST_F(StartupEntriesEnumTest, LocalMachineKeysAreReadInThe32BitViewToo) {
  const std::wstring system = L"C:\\WINDOWS\\system32\\", wow64 = L"C:\\WINDOWS\\SysWOW64\\";
  machine.files.AddFile(system + L"helper.exe", {'M', 'Z'});
  machine.files.AddFile(wow64 + L"helper.exe", {'M', 'Z'});
  machine.files.AddSearchFolder(system);
  platform::FakeRegistry& wow32 = registry.Wow32();
  const std::wstring wowCV = L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\";
  Set(kHkeyLocalMachine, kRun, L"v", L"helper.exe");
  wow32.SetString(kHkeyLocalMachine, kRun, L"v32", L"helper.exe -x");
  Set(kHkeyCurrentUser, kRun, L"v", L"C:\\Apps\\cu.exe");
  wow32.SetString(kHkeyCurrentUser, kRun, L"v", L"C:\\Apps\\never.exe");  // the same key as the native one's
  wow32.SetString(kHkeyLocalMachine, kCV + L"RunOnce\\Setup", L"v", L"C:\\Apps\\setup32.exe");
  Set(kHkeyLocalMachine, kPolicies, L"p", L"C:\\Apps\\plm64.exe");
  wow32.SetString(kHkeyLocalMachine, kPolicies, L"p32", L"C:\\Apps\\plm32.exe");
  wow32.SetString(kHkeyLocalMachine, kPolicies, L"empty", L"");
  Set(kHkeyCurrentUser, kPolicies, L"p", L"C:\\Apps\\pcu.exe");

  const std::vector<Record> on64 = {  // Key, Hive, ValueName, DLL
      {kLM, kRun, L"v", system + L"helper.exe"},
      {kLM, wowCV + L"Run", L"v32", wow64 + L"helper.exe"},
      {kCU, kRun, L"v", L"C:\\Apps\\cu.exe"},
      {kLM, wowCV + L"RunOnce\\Setup", L"v", L"C:\\Apps\\setup32.exe"},
      {kLM, kPolicies, L"p", L"C:\\Apps\\plm64.exe"},
      {kLM, wowCV + L"policies\\Explorer\\Run", L"p32", L"C:\\Apps\\plm32.exe"},
      {kCU, kPolicies, L"p", L"C:\\Apps\\pcu.exe"},
  };
  const std::vector<Record> on32 = {on64[0], on64[2], on64[4], on64[6]};
  const std::vector<Record> sharedPolicies = {on64[0], on64[1], on64[2], on64[3], on64[4], on64[6]};
  // (64-bit Windows, the policies key shared from here on, expected), in this order.
  const std::vector<std::tuple<bool, bool, std::vector<Record>>> passes = {
      {true, false, on64}, {false, false, on32}, {true, true, sharedPolicies}};
  for (const auto& [is64, share, expected] : passes) {
    machine.system.Set64BitWindows(is64);
    if (share) registry.ShareKey(kHkeyLocalMachine, kPolicies);
    EXPECT_EQ(Records(Enumerate(), {L"Key", L"Hive", L"ValueName", L"DLL"}), expected)
        << (is64 ? "64-bit Windows" : "32-bit Windows") << (share ? ", shared policies key" : "");
  }
  EXPECT_TRUE(logger->lines.empty());
}
