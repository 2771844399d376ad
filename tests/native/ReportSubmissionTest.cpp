#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/Error.h"
#include "report/CL.h"
#include "tests/doubles/FakeMachine.h"
#include "tests/native/RequestBody.h"

namespace {

const std::wstring kUrl = L"http://submit.wardline.net/php/ic.php";
const std::wstring kKeptCopy = L"C:\\Program Files\\Wardline\\Request.dat";

// Whether a send went out, and the reason it gives (which starts as "keep").
using Result = std::pair<bool, std::wstring>;

class ReportSubmissionTest : public ::testing::Test {
 protected:
  static CProperties Values() {
    CProperties values;
    values.Add(L"reason", std::wstring(L"It is slow.\r\n+1 & 100%"));
    values.Add(L"log", std::wstring(L"line 1\r\nline 2"));
    return values;
  }
  // Sends on the machine installed last.
  static Result Send(const std::wstring& category = L"LDW\\Uninstall", const CProperties& values = Values()) {
    std::wstring why = L"keep";
    const bool sent = CL().Do1(category, values, why);
    return {sent, why};
  }
  // Sends with the services set in `services` in place of the machine's.
  static Result SendWith(const platform::Services& services) {
    const platform::Services previous = platform::Install(services);
    const Result result = Send();
    platform::Install(previous);
    return result;
  }
  // The request file and the zip the send used, from what reached the zip library.
  std::wstring RequestFile() const {
    return platform::System().FromAnsi(*machine.zipLibrary.Archives().at(0).names.entries.at(0));
  }
  std::wstring ZipFile() const { return platform::System().FromAnsi(machine.zipLibrary.Archives().at(0).zipFile); }

  platform::FakeMachine machine;
};

TEST_F(ReportSubmissionTest, SubjectIdentifierAndValuesReachTheVendorInTheDocumentedForms) {
  ASSERT_TRUE(Send().first);
  const std::wstring body = machine.http.LastBody();
  const request_body::Decoded d = request_body::Decode(body);
  EXPECT_EQ(std::tuple(d.subjectField, d.subject, d.id.size(), d.entryName),
            std::tuple(L"LDW%5CUninstall%5C" + d.id, L"LDW\\Uninstall", 36u, platform::System().ToAnsi(d.id) + ".dat"));
  EXPECT_EQ(std::tuple(d.bag.ReadProperty(L"cat", L""), d.bag.ReadProperty(L"id", L"")),
            std::tuple(L"LDW\\Uninstall", d.id));
  auto dat = d.bag.ReadProperty(L"dat", std::shared_ptr<CProperties>());
  ASSERT_NE(dat, nullptr);
  ASSERT_EQ(dat->Count(), 2u);
  EXPECT_EQ(std::tuple(dat->Item(L"reason").Text(), dat->Item(L"log").Text()),
            std::tuple(L"It is slow.\r\n+1 & 100%", L"line 1\r\nline 2"));
  EXPECT_EQ(std::tuple(RequestFile(), ZipFile().substr(0, 10), ZipFile().substr(ZipFile().size() - 8)),
            std::tuple(L"C:\\Temp\\" + d.id + L".dat", L"C:\\Temp\\sc", L".tmp.zip"));
  EXPECT_EQ(machine.files.FileBytes(kKeptCopy), d.zip);

  const auto& calls = machine.http.Calls();
  ASSERT_GE(calls.size(), 7u);
  EXPECT_EQ(std::vector(calls.begin(), calls.begin() + 4),
            (std::vector<platform::HttpCall>{{L"create", {L"MSXML2.XMLHTTP"}},
                                             {L"open", {L"POST", kUrl}},
                                             {L"setRequestHeader", {L"Content-Type", L"application/x-www-form-urlencoded"}},
                                             {L"send", {body}}}));
}

// The subject field carries the form-value encoding: "+", CR, LF and "\" escaped, everything else as
// it is; "/" in the category becomes "\" first.
TEST_F(ReportSubmissionTest, SubjectIsSentWithTheFormValueEncoding) {
  struct Case { std::wstring category; std::wstring cat; std::wstring field; };
  const std::vector<Case> cases = {
      {L"LDW/Uninstall", L"LDW\\Uninstall", L"LDW%5CUninstall%5C"},
      {L"a+b\r\nc", L"a+b\r\nc", L"a%2Bb%0D%0Ac%5C"},
      {L"x&y=z%41 \u00e9", L"x&y=z%41 \u00e9", L"x&y=z%41 \u00e9%5C"},
      {L"%2B", L"%2B", L"%2B%5C"},
  };
  for (const Case& c : cases) {
    platform::FakeMachine m;
    ASSERT_TRUE(Send(c.category, CProperties()).first);
    const std::wstring body = m.http.LastBody();
    const request_body::Decoded d = request_body::Decode(body);
    const std::wstring field = d.subjectField;
    EXPECT_EQ(std::tuple(field.substr(0, c.field.size()), field.size(), d.bag.ReadProperty(L"cat", L"")),
              std::tuple(c.field, c.field.size() + 36, c.cat));
    // Everything after "&value=" is the text form, untouched by the encoding but for "+".
    const std::size_t value = body.rfind(L"&value=") + 7;
    EXPECT_EQ(body.find_first_of(L"&%", value), body.find(L"%2B", value));
  }
}

TEST_F(ReportSubmissionTest, RequestFileGoesIntoTheTempFolderWithOneBackslash) {
  for (const std::wstring& temp : {std::wstring(L"D:\\Tmp"), std::wstring(L"D:\\Tmp\\")}) {
    platform::FakeMachine m;
    m.files.SetTempFolder(temp);
    ASSERT_TRUE(Send(L"LDW\\SupportRequest", CProperties()).first);
    const std::string file = *m.zipLibrary.Archives().at(0).names.entries.at(0);
    EXPECT_EQ(file.rfind("D:\\Tmp\\", 0), 0u) << file;
    EXPECT_EQ(file.find("\\\\"), std::string::npos) << file;
  }
}

// What the answer decides: 200, 206, 302 and 304 are a success, any other status a failure with the
// status text as it stands; at the deadline a request with no connection (readyState 1) or an answer
// still arriving (3) is aborted, and in any other state the status decides. Both temporary files and
// the kept copy stay on every answer.
TEST_F(ReportSubmissionTest, TheAnswerDecidesTheResult) {
  struct Case {
    const char* what;
    std::vector<std::int32_t> states{4};
    std::int32_t status = 200;
    std::wstring statusText = L"OK";
    bool sent = true;
    std::wstring cause = L"keep";
    bool aborted = false;
  };
  const std::wstring cannot = L"Cannot send. ";
  const auto refused = [](std::int32_t status, std::wstring text) {
    return Case{.what = "refused", .status = status, .statusText = text, .sent = false, .cause = text};
  };
  const std::vector<Case> cases = {
      {.what = "200"},
      {.what = "206", .status = 206, .statusText = L"Partial Content"},
      {.what = "302", .status = 302, .statusText = L"Found"},
      {.what = "304", .status = 304, .statusText = L"Not Modified"},
      {.what = "complete after other states", .states = {1, 1, 2, 3, 3, 4}},
      refused(201, L"Created"), refused(204, L"No Content"), refused(301, L"Moved Permanently"),
      refused(303, L"See Other"), refused(404, L"Not Found"), refused(500, L" "), refused(0, L""),
      {.what = "never connected", .states = {1}, .sent = false, .cause = cannot, .aborted = true},
      {.what = "answer still arriving", .states = {3}, .sent = false, .cause = cannot, .aborted = true},
      {.what = "state 2 at the deadline", .states = {2}},
      {.what = "state 0 at the deadline", .states = {0}, .status = 404, .statusText = L"Not Found", .sent = false,
       .cause = L"Not Found"},
  };
  for (const Case& c : cases) {
    const std::string what = c.what + (" " + std::to_string(c.status));
    platform::FakeMachine m;
    m.http.script.readyStates = c.states;
    m.http.script.status = c.status;
    m.http.script.statusText = c.statusText;
    EXPECT_EQ(Send(), Result(c.sent, c.cause)) << what;
    const auto names = m.http.CallNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), L"abort"), c.aborted ? 1 : 0) << what;
    EXPECT_EQ(std::count(names.begin(), names.end(), L"status"), c.aborted ? 0 : 1) << what;
    const auto& archive = m.zipLibrary.Archives().at(0);
    EXPECT_EQ(std::tuple(m.files.HasFile(platform::System().FromAnsi(*archive.names.entries[0])),
                         m.files.HasFile(platform::System().FromAnsi(archive.zipFile)), m.files.HasFile(kKeptCopy)),
              std::tuple(true, true, true)) << what;
  }
}

// An error on the way: its description is the reason, both temporary files go, and the kept copy is
// there when the zip had been read back before the error.
TEST_F(ReportSubmissionTest, AnErrorAtAnyStepDeletesBothTemporaryFiles) {
  struct Case {
    const char* step;
    std::function<void(platform::FakeMachine&)> arrange;
    std::wstring cause;  // the start of the reason
    bool keptCopy;
  };
  // A call of the XMLHTTP object that fails, after `also` has arranged the answer that reaches it.
  const auto failing = [](const char* call, std::function<void(platform::FakeMachine&)> also = nullptr) {
    const std::wstring name(call, call + std::strlen(call)), description = L"XMLHTTP." + name + L": Unspecified error";
    return Case{call, [=](platform::FakeMachine& m) {
                  if (also) also(m);
                  m.http.script.failures[name] = {platform::kHrFail, description};
                }, description, true};
  };
  const std::vector<Case> cases = {
      {"zip library missing", [](platform::FakeMachine& m) { m.zipLibrary.loadError = 126; },
       L"File not found: vbzip10.dll", false},
      {"no archive made", [](platform::FakeMachine& m) { m.zipLibrary.makesArchive = false; }, L"", false},
      {"create", [](platform::FakeMachine& m) { m.http.createFailure = {platform::kHrInvalidClassString, L"no class"}; },
       L"no class", true},
      failing("open"), failing("setRequestHeader"), failing("send"), failing("readyState"), failing("status"),
      // As Wine's request object at the deadline when it never connected or got no answer.
      failing("status", [](platform::FakeMachine& m) { m.http.script.readyStates = {2}; }),
      failing("abort", [](platform::FakeMachine& m) { m.http.script.readyStates = {1}; }),
      {"statusText",
       [](platform::FakeMachine& m) {
         m.http.script.status = 404;
         m.http.script.failures[L"statusText"] = {platform::kHrPending, L""};
       },
       L"The HTTP request failed (0x8000000A)", true},
  };
  for (const Case& c : cases) {
    platform::FakeMachine m;
    c.arrange(m);
    const auto [sent, why] = Send();
    EXPECT_EQ(std::tuple(sent, why.substr(0, c.cause.size()), why != L"keep", m.files.HasFile(kKeptCopy)),
              std::tuple(false, c.cause, true, c.keptCopy)) << c.step;
    // Nothing is left in the temporary folder: the request file and the zip are gone.
    for (const std::wstring& path : m.files.FilePaths()) EXPECT_NE(path.rfind(L"C:\\Temp\\", 0), 0u) << c.step;
    EXPECT_FALSE(m.files.Deletes().empty()) << c.step;
  }
}

// A request file that cannot be written: the error path deletes what there is and ignores the files
// that were never made.
TEST_F(ReportSubmissionTest, ARefusedRequestFileEndsTheSendBeforeTheZip) {
  class RefusingTemp : public platform::FakeFiles {
   public:
    bool WriteAll(const std::wstring& path, const std::vector<std::uint8_t>& bytes, unsigned long& error) override {
      if (path.rfind(L"C:\\Temp\\", 0) == 0) {
        error = 5;
        return false;
      }
      return FakeFiles::WriteAll(path, bytes, error);
    }
  } refusing;
  const auto [sent, why] = SendWith({.files = &refusing});
  EXPECT_EQ(std::tuple(sent, why.find(L"C:\\Temp\\") != std::wstring::npos, machine.zipLibrary.Calls().empty(),
                       machine.http.Calls().empty()),
            std::tuple(false, true, true, true)) << why;
}

TEST_F(ReportSubmissionTest, AKeptCopyThatCannotBeWrittenDoesNotStopTheSend) {
  machine.files.Fail(kKeptCopy, platform::kFileOpWrite, 5);
  EXPECT_EQ(Send(), Result(true, L"keep"));
  EXPECT_FALSE(machine.files.HasFile(kKeptCopy));
}

TEST_F(ReportSubmissionTest, EachPassOfTheWaitRunsMessagesAndSleepsFiveMilliseconds) {
  machine.http.script.readyStates = {1, 1, 1, 4};
  ASSERT_TRUE(Send().first);
  const auto names = machine.http.CallNames();
  // Four passes, and one reading more after the wait.
  EXPECT_EQ(std::tuple(machine.system.Sleeps(), machine.desktop.DoEventsCount(),
                       std::count(names.begin(), names.end(), L"readyState")),
            std::tuple(std::vector<std::uint32_t>{5, 5, 5}, 3u, 5));
}

// The deadline: the start rounded to the nearest whole second, plus 300 seconds, on the tick count.
TEST_F(ReportSubmissionTest, TheWaitEndsAtTheDeadlineRoundedToTheStartsSecond) {
  struct Case { std::uint32_t startTicks; std::uint64_t slept; };
  // The wait ends at the first pass that finds the clock past the deadline (5 ms passes).
  for (const Case& c : std::vector<Case>{{1000, 300005}, {1499, 299505}, {1500, 300505}, {4294817000u, 300005}}) {
    platform::FakeMachine m;
    m.system.SetTickCount(c.startTicks);
    m.http.script.readyStates = {1};
    EXPECT_EQ(Send(), Result(false, L"Cannot send. ")) << c.startTicks;
    EXPECT_EQ(m.system.TotalSlept(), c.slept) << c.startTicks;
  }
}

// The time of day has no part in the wait: a send that starts just before midnight, while the tick
// count wraps, still waits its 300 seconds and no more.
TEST_F(ReportSubmissionTest, TheWaitEndsAtTheDeadlineAcrossMidnight) {
  class MidnightSystem : public platform::FakeSystem {
   public:
    void Sleep(std::uint32_t ms) override {
      FakeSystem::Sleep(ms);
      elapsed_ += ms;
      if (elapsed_ > 400000) throw CError(6, L"the wait did not end");  // stops a wait that would not
      const std::uint64_t seconds = (23 * 3600 + 59 * 60 + 50) + elapsed_ / 1000;
      SetNow({2024, 1, 2 + static_cast<int>(seconds / 86400), static_cast<int>(seconds / 3600 % 24),
              static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60)});
    }

   private:
    std::uint64_t elapsed_ = 0;
  } system;
  system.SetTickCount(0xFFFFFFFFu - 4000);
  machine.http.script.readyStates = {1};
  EXPECT_EQ(SendWith({.system = &system}), Result(false, L"Cannot send. "));
  EXPECT_GE(system.TotalSlept(), 299500u);
  EXPECT_LE(system.TotalSlept(), 300505u);
  EXPECT_EQ(system.Now().day, 3);  // the wait did cross midnight
}

}  // namespace
