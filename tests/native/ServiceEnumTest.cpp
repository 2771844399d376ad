#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "InspectionEnumFixture.h"
#include "inspection/ServiceManager.h"

using platform::kHkeyLocalMachine;

namespace {

const std::wstring kServices = L"SYSTEM\\CurrentControlSet\\Services\\";

class ServiceEnumTest : public InspectionEnumTest {
 protected:
  void SetUp() override {
    InspectionEnumTest::SetUp();
    machine.files.SetEnv(L"SystemRoot", L"C:\\WINDOWS");
  }
  std::shared_ptr<CItemList> Enumerate() { return CServiceManager().EnumServices(); }
  void Service(const std::wstring& name, const std::wstring& imagePath, const std::wstring& displayName = L"Shown") {
    registry.SetExpandString(kHkeyLocalMachine, kServices + name, L"ImagePath", imagePath);
    registry.SetString(kHkeyLocalMachine, kServices + name, L"DisplayName", displayName);
  }
};

}  // namespace

TEST_F(ServiceEnumTest, EachImagePathGivesItsResolvedFileAndNoImagePathNoItem) {
  machine.files.AddFile(L"C:\\WINDOWS\\System32\\svchost.exe", {'M', 'Z'});
  machine.files.AddFile(L"C:\\WINDOWS\\System32\\drivers\\tcpip.sys", {'M', 'Z'});
  machine.files.AddFile(L"C:\\WINDOWS\\System32\\drivers\\null.sys", {'M', 'Z'});
  registry.SetString(kHkeyLocalMachine, kServices + L"NoImage", L"DisplayName", L"No image");
  const std::pair<std::wstring, std::optional<std::wstring>> cases[] = {  // image path, item name if any
      {L"%SystemRoot%\\System32\\svchost.exe -k netsvcs", L"C:\\WINDOWS\\System32\\svchost.exe"},
      {L"\\SystemRoot\\System32\\drivers\\tcpip.sys", L"C:\\WINDOWS\\System32\\drivers\\tcpip.sys"},
      {L"\\??\\C:\\WINDOWS\\System32\\drivers\\null.sys", L"C:\\WINDOWS\\System32\\drivers\\null.sys"},
      {L"\"C:\\Program Files\\Svc\\svc.exe\" -run", L"C:\\Program Files\\Svc\\svc.exe"},
      {L"   ", L""},  // blanks only still give an item
      {L"", std::nullopt},
      {L"C:\\Apps\\shared.exe -a", L"C:\\Apps\\shared.exe"},  // the same image twice gives two items
      {L"C:\\Apps\\shared.exe -b", L"C:\\Apps\\shared.exe"},
  };
  Texts expected;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    Service(L"s" + std::to_wstring(i), cases[i].first);
    if (cases[i].second) expected.push_back(*cases[i].second);
  }
  EXPECT_EQ(Names(Enumerate()), expected);
  EXPECT_TRUE(logger->lines.empty());
}

TEST_F(ServiceEnumTest, DisplayNameIsTheOnlyPropertyAndEmptyWhenMissing) {
  Service(L"Named", L"C:\\Apps\\a.exe", L"Friendly & Co");
  registry.SetString(kHkeyLocalMachine, kServices + L"Unnamed", L"ImagePath", L"C:\\Apps\\b.exe");
  auto list = Enumerate();
  EXPECT_EQ(Column(list, L"DisplayName"), (Texts{L"Friendly & Co", L""}));
  for (const auto& item : *list) EXPECT_EQ(PropertyNames(*item), Texts{L"DisplayName"});
}

// An error ends the enumeration, but what was built reaches the caller.
TEST_F(ServiceEnumTest, ErrorGivesTheListAsFarAsBuilt) {
  Service(L"First", L"C:\\Apps\\first.exe");
  Service(L"Broken", L"C:\\Apps\\broken.exe");
  Service(L"Last", L"C:\\Apps\\last.exe");
  registry.RaiseOnRead(kHkeyLocalMachine, kServices + L"Broken", L"DisplayName");
  EXPECT_EQ(Names(Enumerate()), Texts{L"C:\\Apps\\first.exe"});
  EXPECT_EQ(LoggedErrors(), (Errors{{err::kOutOfMemory, 0, L"CServiceManager.EnumServices"}}));
}

TEST_F(ServiceEnumTest, UnreadableServicesKeyGivesEmptyListAndLogLine) {
  Service(L"First", L"C:\\Apps\\first.exe");
  registry.FailEnum(kHkeyLocalMachine, L"SYSTEM\\CurrentControlSet\\Services", platform::kErrorAccessDenied);
  EXPECT_EQ(Names(Enumerate()), Texts{});
  EXPECT_EQ(Logged(), (Log{{0, L"CServiceManager.EnumServices"}}));
}
