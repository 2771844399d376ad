#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/Product.h"
#include "shell/Strings.h"

namespace {

struct StringCase { int id; std::wstring text; };

// The texts as the program's users see them, written out independently of the table's source.
std::vector<StringCase> ExpectedTable() {
  return {
      {100, L"Wardline"}, {101, L"Type your comments here..."}, {102, L"Please type comments. "},
      {103, L"Please type your name. "}, {104, L"Please type your e-mail. "},
      {105, L"Your support request has been sent successfully. Please allow up to 48 hours for a response."},
      {106, L"Cannot send a support request. Ensure you are online now. "},
      {107, L"Spyware removal script is valid and ready to be applied. "},
      {108, L"Invalid script. Ensure that entire script is copy-pasted. "},
      {109, L"Spyware removal script is prepared for another computer and cannot be used on this PC. "},
      {110, L"Cannot run spyware removal script. "},
      {111, L"Analysing configuration, preparing and sending"}, {112, L"support request."},
      {113, L"Analysing configuration and executing"}, {114, L"spyware removal script."},
      {115, L"Operation complete sucessfully. No spyware files are found."},
      {116, L"Windows restart is required to complete cleanup. Close all opened documents then press OK button to "
            L"restart Windows. "},
      {117, L"%1 Please restart Windows manually."}, {118, L"Don't forget to restart Windows manually."},
      {119, std::wstring(L"The script requires %1 version %2 or later. \nPlease visit ") + product::kWebSite +
                L" to obtain the latest version. "},
      {120, L"Are you sure you want to restore '%1'?"}, {121, L"Program '%1' is restored successfully."},
      {122, L"There are no more programs to restore. Press OK button to close Restore Removed Programs window."},
      {123, L"Cannot restore '%1'. "},
      {124, L"Nothing to restore. No programs are removed or all programs are already restored."},
      {130, L"The reason cannot be empty. "}, {131, L"Thank you. "},
      {132, L"The operation could not be completed. Ensure that you are online now. "},
      {133, std::wstring(L"Here you have an opportunity to write authors whyWardline is not for you. Every fifth "
                         L"customer fills out and sends this form. If you prefer, you can send your comments via "
                         L"email to ") +
                product::kSupportEmail},
      {134, L"Wardline is a powerful anti-spyware solution. The software lets you request a professional spyware "
            L"removal procedure with just one click."},
      {135, L"Click the Request Support button to request spyware removal procedure. Give us up to 48 hours to "
            L"response. The average response time is under 6 hours."},
      {136, L"Click the Remove Spyware button to execute spyware removal procedure. Don't forget to reboot your "
            L"computer after finishing to complete spyware removal."},
      {137, L"Paste spyware removal procedure here..."}, {906, L"Cannot contact. "},
  };
}

TEST(StringTableTexts, EveryIdHoldsItsExactText) {
  const std::vector<StringCase> table = ExpectedTable();
  ASSERT_EQ(table.size(), 34u);
  for (const StringCase& c : table) EXPECT_EQ(LoadResString(c.id), c.text) << "string " << c.id;
}

TEST(StringTableTexts, IdsOutsideTheTableAreEmpty) {
  for (int id : {0, 99, 125, 129, 138, 905, 907, -1}) EXPECT_EQ(LoadResString(id), L"") << "string " << id;
}

// 119's second line is worded with a closing blank of its own, like its first line.
TEST(StringTableTexts, TrailingBlanksAreKept) {
  for (int id : {102, 103, 104, 106, 107, 108, 109, 110, 116, 119, 123, 130, 131, 132, 906}) {
    const std::wstring text = LoadResString(id);
    ASSERT_GE(text.size(), 2u) << "string " << id;
    EXPECT_TRUE(text.back() == L' ' && text[text.size() - 2] != L' ') << "string " << id << " needs one blank";
  }
  for (int id : {105, 111, 112, 113, 114, 115, 117, 118, 120, 121, 122, 124, 134, 135, 136, 137}) {
    const std::wstring text = LoadResString(id);
    EXPECT_TRUE(!text.empty() && text.back() != L' ') << "string " << id;
  }
}

TEST(StringTableTexts, TheVersionMessageBreaksTheLineWithOneLineFeed) {
  const std::wstring text = LoadResString(119);
  const std::wstring::size_type lf = text.find(L'\n');
  ASSERT_NE(lf, std::wstring::npos);
  EXPECT_EQ(text.find(L'\n', lf + 1), std::wstring::npos);
  EXPECT_EQ(text.find(L'\r'), std::wstring::npos);
  EXPECT_EQ(text.find(L"\\n"), std::wstring::npos);
  EXPECT_EQ(text.substr(0, lf), L"The script requires %1 version %2 or later. ");
  EXPECT_EQ(text.substr(lf + 1, 13), L"Please visit ");
}

TEST(StringTableTexts, AddressesMatchTheProductConstants) {
  const std::wstring visit = LoadResString(119);
  const std::wstring site = product::kWebSite;
  const std::wstring::size_type at = visit.find(L"Please visit ");
  ASSERT_NE(at, std::wstring::npos);
  EXPECT_EQ(visit.substr(at + 13, site.size()), site);
  EXPECT_EQ(visit.substr(at + 13 + site.size()), L" to obtain the latest version. ");

  const std::wstring feedback = LoadResString(133);
  const std::wstring mail = product::kSupportEmail;
  ASSERT_GE(feedback.size(), mail.size());
  EXPECT_EQ(feedback.substr(feedback.size() - mail.size()), mail);
  EXPECT_EQ(feedback.substr(feedback.size() - mail.size() - 3, 3), L"to ");
}

}  // namespace
