#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "shell/Product.h"
#include "shell/Strings.h"

namespace {

// The texts as the program's users see them, written out independently of the table's source and
// compared whole: trailing blanks are part of them (one where there is one; 119's second line ends in a
// blank of its own, like its first), 119 breaks its line with one line feed (no carriage return, no
// escaped "\n"), and 119 and 133 name the product's own web site and support address.
TEST(StringTableTexts, EveryIdHoldsItsExactText) {
  const std::vector<std::pair<int, std::wstring>> table = {
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
  ASSERT_EQ(table.size(), 34u);
  for (const auto& [id, text] : table) EXPECT_EQ(LoadResString(id), text) << "string " << id;
}

TEST(StringTableTexts, IdsOutsideTheTableAreEmpty) {
  for (int id : {0, 99, 125, 129, 138, 905, 907, -1}) EXPECT_EQ(LoadResString(id), L"") << "string " << id;
}

}  // namespace
