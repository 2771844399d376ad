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
    machine.registry.SetExpandString(kHkeyLocalMachine, kServices + name, L"ImagePath", imagePath);
    machine.registry.SetString(kHkeyLocalMachine, kServices + name, L"DisplayName", displayName);
  }
};

}  // namespace

TEST_F(ServiceEnumTest, ImagePathGivesTheResolvedFile) {
  machine.files.AddFile(L"C:\\WINDOWS\\System32\\svchost.exe", {'M', 'Z'});
  machine.files.AddFile(L"C:\\WINDOWS\\System32\\drivers\\tcpip.sys", {'M', 'Z'});
  machine.files.AddFile(L"C:\\WINDOWS\\System32\\drivers\\null.sys", {'M', 'Z'});
  struct Case {
    std::wstring imagePath;
    std::wstring name;
  };
  const Case cases[] = {
      {L"%SystemRoot%\\System32\\svchost.exe -k netsvcs", L"C:\\WINDOWS\\System32\\svchost.exe"},
      {L"\\SystemRoot\\System32\\drivers\\tcpip.sys", L"C:\\WINDOWS\\System32\\drivers\\tcpip.sys"},
      {L"\\??\\C:\\WINDOWS\\System32\\drivers\\null.sys", L"C:\\WINDOWS\\System32\\drivers\\null.sys"},
      {L"\"C:\\Program Files\\Svc\\svc.exe\" -run", L"C:\\Program Files\\Svc\\svc.exe"},
      {L"   ", L""},  // blanks only still give an item
  };
  int n = 0;
  for (const Case& c : cases) Service(L"s" + std::to_wstring(n++), c.imagePath);
  auto list = Enumerate();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(list->Item(i + 1).Name, cases[i].name) << i;
  EXPECT_TRUE(logger->lines.empty());
}

TEST_F(ServiceEnumTest, ServiceWithoutImagePathGivesNoItem) {
  machine.registry.SetString(kHkeyLocalMachine, kServices + L"NoImage", L"DisplayName", L"No image");
  Service(L"Empty", L"");
  Service(L"Real", L"C:\\Apps\\real.exe");
  auto list = Enumerate();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Names(*list), (std::vector<std::wstring>{L"C:\\Apps\\real.exe"}));
}

TEST_F(ServiceEnumTest, DisplayNameIsTheOnlyPropertyAndEmptyWhenMissing) {
  Service(L"Named", L"C:\\Apps\\a.exe", L"Friendly & Co");
  machine.registry.SetString(kHkeyLocalMachine, kServices + L"Unnamed", L"ImagePath", L"C:\\Apps\\b.exe");
  auto list = Enumerate();
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), 2u);
  EXPECT_EQ(PropertyNames(list->Item(1)), (std::vector<std::wstring>{L"DisplayName"}));
  EXPECT_EQ(std::get<std::wstring>(list->Item(1).Properties().Item(1).Values().Item(1)), L"Friendly & Co");
  EXPECT_EQ(PropertyNames(list->Item(2)), (std::vector<std::wstring>{L"DisplayName"}));
  EXPECT_EQ(Text(list->Item(2), L"DisplayName"), L"");
}

TEST_F(ServiceEnumTest, SameImageTwiceGivesTwoItems) {
  Service(L"One", L"C:\\Apps\\shared.exe -a");
  Service(L"Two", L"C:\\Apps\\shared.exe -b");
  auto list = Enumerate();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Names(*list), (std::vector<std::wstring>{L"C:\\Apps\\shared.exe", L"C:\\Apps\\shared.exe"}));
}

// An error ends the enumeration, but what was built reaches the caller.
TEST_F(ServiceEnumTest, ErrorGivesTheListAsFarAsBuilt) {
  Service(L"First", L"C:\\Apps\\first.exe");
  Service(L"Broken", L"C:\\Apps\\broken.exe");
  Service(L"Last", L"C:\\Apps\\last.exe");
  raising.RaiseOnRead(kHkeyLocalMachine, kServices + L"Broken", L"DisplayName");
  auto list = Enumerate();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(Names(*list), (std::vector<std::wstring>{L"C:\\Apps\\first.exe"}));
  ASSERT_EQ(logger->lines.size(), 1u);
  EXPECT_EQ(logger->lines[0].level, 0);
  EXPECT_EQ(logger->lines[0].source, L"CServiceManager.EnumServices");
  EXPECT_EQ(logger->lines[0].number, err::kOutOfMemory);
}

TEST_F(ServiceEnumTest, UnreadableServicesKeyGivesEmptyListAndLogLine) {
  Service(L"First", L"C:\\Apps\\first.exe");
  machine.registry.FailEnum(kHkeyLocalMachine, L"SYSTEM\\CurrentControlSet\\Services", platform::kErrorAccessDenied);
  auto list = Enumerate();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->Count(), 0u);
  ASSERT_EQ(logger->lines.size(), 1u);
  EXPECT_EQ(logger->lines[0].source, L"CServiceManager.EnumServices");
}
