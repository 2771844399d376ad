#include <gtest/gtest.h>

#include <algorithm>
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

class ReportSubmissionTest : public ::testing::Test {
 protected:
  CProperties Values() {
    CProperties values;
    values.Add(L"reason", std::wstring(L"It is slow.\r\n+1 & 100%"));
    values.Add(L"log", std::wstring(L"line 1\r\nline 2"));
    return values;
  }
  // Sends and returns the result; `cause` starts as "keep".
  bool Send(const std::wstring& category = L"LDW\\Uninstall") {
    cause = L"keep";
    return CL().Do1(category, Values(), cause);
  }
  // The request file and the zip the send used, from what reached the zip library.
  std::wstring RequestFile() const {
    return platform::System().FromAnsi(*machine.zipLibrary.Archives().at(0).names.entries.at(0));
  }
  std::wstring ZipFile() const { return platform::System().FromAnsi(machine.zipLibrary.Archives().at(0).zipFile); }

  platform::FakeMachine machine;
  std::wstring cause;
};

TEST_F(ReportSubmissionTest, SubjectIdentifierAndValuesReachTheVendorInTheDocumentedForms) {
  ASSERT_TRUE(Send());
  const std::wstring body = machine.http.LastBody();
  const request_body::Decoded d = request_body::Decode(body);
  EXPECT_EQ(d.subjectField, L"LDW%5CUninstall%5C" + d.id);
  EXPECT_EQ(d.subject, L"LDW\\Uninstall");
  EXPECT_EQ(d.id.size(), 36u);
  EXPECT_EQ(d.entryName, platform::System().ToAnsi(d.id) + ".dat");
  EXPECT_EQ(d.bag.ReadProperty(L"cat", L""), L"LDW\\Uninstall");
  EXPECT_EQ(d.bag.ReadProperty(L"id", L""), d.id);
  auto dat = d.bag.ReadProperty(L"dat", std::shared_ptr<CProperties>());
  ASSERT_NE(dat, nullptr);
  ASSERT_EQ(dat->Count(), 2u);
  EXPECT_EQ(dat->Item(L"reason").Text(), L"It is slow.\r\n+1 & 100%");
  EXPECT_EQ(dat->Item(L"log").Text(), L"line 1\r\nline 2");
  EXPECT_EQ(RequestFile(), L"C:\\Temp\\" + d.id + L".dat");
  EXPECT_EQ(ZipFile().substr(0, 10), L"C:\\Temp\\sc");
  EXPECT_EQ(ZipFile().substr(ZipFile().size() - 8), L".tmp.zip");
  EXPECT_EQ(machine.files.FileBytes(kKeptCopy), d.zip);

  const auto& calls = machine.http.Calls();
  ASSERT_GE(calls.size(), 7u);
  EXPECT_EQ(calls[0], (platform::HttpCall{L"create", {L"MSXML2.XMLHTTP"}}));
  EXPECT_EQ(calls[1], (platform::HttpCall{L"open", {L"POST", kUrl}}));
  EXPECT_EQ(calls[2], (platform::HttpCall{L"setRequestHeader", {L"Content-Type", L"application/x-www-form-urlencoded"}}));
  EXPECT_EQ(calls[3].name, L"send");
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
    std::wstring ignored;
    ASSERT_TRUE(CL().Do1(c.category, CProperties(), ignored));
    const std::wstring body = m.http.LastBody();
    const std::size_t value = body.rfind(L"&value=");
    const std::wstring field = body.substr(8, value - 8);
    EXPECT_EQ(field.substr(0, c.field.size()), c.field);
    EXPECT_EQ(field.size(), c.field.size() + 36);
    // Everything after "&value=" is the text form, untouched by the encoding but for "+".
    EXPECT_EQ(body.find_first_of(L"&%", value + 7), body.find(L"%2B", value + 7));
    const std::wstring zipText = request_body::FormDecode(body.substr(value + 7));
    ui::PropertyBag bag;
    bag.SetContents(request_body::Unzip(Utilities().TextToBytes(zipText)).at(0).second);
    EXPECT_EQ(bag.ReadProperty(L"cat", L""), c.cat);
  }
}

TEST_F(ReportSubmissionTest, RequestFileGoesIntoTheTempFolderWithOneBackslash) {
  for (const std::wstring& temp : {std::wstring(L"D:\\Tmp"), std::wstring(L"D:\\Tmp\\")}) {
    platform::FakeMachine m;
    m.files.SetTempFolder(temp);
    std::wstring ignored;
    ASSERT_TRUE(CL().Do1(L"LDW\\SupportRequest", CProperties(), ignored));
    const std::string file = *m.zipLibrary.Archives().at(0).names.entries.at(0);
    EXPECT_EQ(file.rfind("D:\\Tmp\\", 0), 0u) << file;
    EXPECT_EQ(file.find("\\\\"), std::string::npos) << file;
  }
}

// What the answer decides: only a complete answer with 200, 206, 302 or 304 is a success.
TEST_F(ReportSubmissionTest, TheAnswerDecidesTheResult) {
  struct Case {
    std::vector<std::int32_t> states;
    std::int32_t status;
    std::wstring statusText;
    bool sent;
    std::wstring cause;
    bool aborted;
  };
  const std::vector<Case> cases = {
      {{4}, 200, L"OK", true, L"keep", false},
      {{4}, 206, L"Partial Content", true, L"keep", false},
      {{4}, 302, L"Found", true, L"keep", false},
      {{4}, 304, L"Not Modified", true, L"keep", false},
      {{1, 1, 3, 3, 4}, 200, L"OK", true, L"keep", false},
      {{4}, 404, L"Not Found", false, L"Not Found", false},
      {{4}, 500, L" ", false, L"HTTP status 500. ", false},
      {{1}, 200, L"OK", false, L"Cannot send. ", true},  // never connected
      {{3}, 200, L"OK", false, L"Cannot send. ", true},  // answer still arriving
      {{2}, 200, L"OK", false, L"Cannot send. ", true},  // left half done, as Wine leaves a failed request
      {{0}, 200, L"OK", false, L"Cannot send. ", true},
  };
  for (const Case& c : cases) {
    platform::FakeMachine m;
    m.http.script.readyStates = c.states;
    m.http.script.status = c.status;
    m.http.script.statusText = c.statusText;
    std::wstring why = L"keep";
    EXPECT_EQ(CL().Do1(L"LDW\\Uninstall", Values(), why), c.sent) << c.status << " " << c.states.back();
    EXPECT_EQ(why, c.cause) << c.status << " " << c.states.back();
    const auto names = m.http.CallNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), L"abort"), c.aborted ? 1 : 0);
    // Both temporary files stay on every answer.
    const auto& archive = m.zipLibrary.Archives().at(0);
    EXPECT_TRUE(m.files.HasFile(platform::System().FromAnsi(*archive.names.entries[0])));
    EXPECT_TRUE(m.files.HasFile(platform::System().FromAnsi(archive.zipFile)));
    EXPECT_TRUE(m.files.HasFile(kKeptCopy));
  }
}

// A success counts only when its answer arrived whole: with headers (the system reads bytes without a
// status line as a 200 without any), and with as many body bytes as its Content-Length names.
TEST_F(ReportSubmissionTest, ASuccessCountsOnlyWhenItsAnswerArrivedWhole) {
  struct Case {
    const char* what;
    std::int32_t status;
    std::wstring headers;
    std::uint64_t bytes;
    bool sent;
    std::wstring cause;
  };
  const std::vector<Case> cases = {
      {"whole", 200, L"Content-Type: text/plain\r\nContent-Length: 13\r\n\r\n", 13, true, L"keep"},
      {"name in other letters, blanks around", 206, L"content-LENGTH:  13 \r\n", 13, true, L"keep"},
      {"chunks", 200, L"Transfer-Encoding: chunked\r\n", 37, true, L"keep"},
      {"a 304 has no body", 304, L"Content-Length: 13\r\n", 0, true, L"keep"},
      {"cut short", 200, L"Content-Type: text/plain\r\nContent-Length: 1000\r\n", 15, false, L"Cannot send. "},
      {"longer than named", 302, L"Content-Length: 2\r\n", 3, false, L"Cannot send. "},
      {"no headers", 200, L"\r\n", 19, false, L"Cannot send. "},
      {"length not a number", 200, L"Content-Length: 12x\r\n", 12, false, L"Cannot send. "},
      {"a refusal cut short", 404, L"Content-Length: 1000\r\n", 15, false, L"Not Found"},
  };
  for (const Case& c : cases) {
    platform::FakeMachine m;
    m.http.script.status = c.status;
    m.http.script.statusText = c.status == 404 ? L"Not Found" : L"OK";
    m.http.script.responseHeaders = c.headers;
    m.http.script.responseBytes = c.bytes;
    std::wstring why = L"keep";
    EXPECT_EQ(CL().Do1(L"LDW\\Uninstall", Values(), why), c.sent) << c.what;
    EXPECT_EQ(why, c.cause) << c.what;
    // The files stay as after any answer.
    const auto& archive = m.zipLibrary.Archives().at(0);
    EXPECT_TRUE(m.files.HasFile(platform::System().FromAnsi(*archive.names.entries[0]))) << c.what;
    EXPECT_TRUE(m.files.HasFile(platform::System().FromAnsi(archive.zipFile))) << c.what;
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
  auto fail = [](const wchar_t* call) {
    return [call](platform::FakeMachine& m) {
      m.http.script.failures[call] = {platform::kHrFail, std::wstring(L"XMLHTTP.") + call + L": Unspecified error"};
    };
  };
  const std::vector<Case> cases = {
      {"zip library missing", [](platform::FakeMachine& m) { m.zipLibrary.loadError = 126; },
       L"File not found: vbzip10.dll", false},
      {"no archive made", [](platform::FakeMachine& m) { m.zipLibrary.makesArchive = false; }, L"", false},
      {"create", [](platform::FakeMachine& m) { m.http.createFailure = {platform::kHrInvalidClassString, L"no class"}; },
       L"no class", true},
      {"open", fail(L"open"), L"XMLHTTP.open: Unspecified error", true},
      {"setRequestHeader", fail(L"setRequestHeader"), L"XMLHTTP.setRequestHeader: Unspecified error", true},
      {"send", fail(L"send"), L"XMLHTTP.send: Unspecified error", true},
      {"readyState", fail(L"readyState"), L"XMLHTTP.readyState: Unspecified error", true},
      {"status", fail(L"status"), L"XMLHTTP.status: Unspecified error", true},
      {"getAllResponseHeaders", fail(L"getAllResponseHeaders"), L"XMLHTTP.getAllResponseHeaders: Unspecified error",
       true},
      {"responseBody",
       [](platform::FakeMachine& m) {
         m.http.script.responseHeaders = L"Content-Length: 13\r\n";
         m.http.script.failures[L"responseBody"] = {platform::kHrFail, L"XMLHTTP.responseBody: Unspecified error"};
       },
       L"XMLHTTP.responseBody: Unspecified error", true},
      {"abort",
       [](platform::FakeMachine& m) {
         m.http.script.readyStates = {1};
         m.http.script.failures[L"abort"] = {platform::kHrFail, L"XMLHTTP.abort: Unspecified error"};
       },
       L"XMLHTTP.abort: Unspecified error", true},
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
    std::wstring why = L"keep";
    EXPECT_FALSE(CL().Do1(L"LDW\\Uninstall", Values(), why)) << c.step;
    EXPECT_EQ(why.substr(0, c.cause.size()), c.cause) << c.step;
    EXPECT_NE(why, L"keep") << c.step;
    EXPECT_EQ(m.files.HasFile(kKeptCopy), c.keptCopy) << c.step;
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
  platform::Services services;
  services.files = &refusing;
  const platform::Services previous = platform::Install(services);
  std::wstring why;
  const bool sent = CL().Do1(L"LDW\\Uninstall", Values(), why);
  platform::Install(previous);
  EXPECT_FALSE(sent);
  EXPECT_NE(why.find(L"C:\\Temp\\"), std::wstring::npos) << why;
  EXPECT_TRUE(machine.zipLibrary.Calls().empty());
  EXPECT_TRUE(machine.http.Calls().empty());
}

TEST_F(ReportSubmissionTest, AKeptCopyThatCannotBeWrittenDoesNotStopTheSend) {
  machine.files.Fail(kKeptCopy, platform::kFileOpWrite, 5);
  EXPECT_TRUE(Send());
  EXPECT_EQ(cause, L"keep");
  EXPECT_FALSE(machine.files.HasFile(kKeptCopy));
}

TEST_F(ReportSubmissionTest, EachPassOfTheWaitRunsMessagesAndSleepsFiveMilliseconds) {
  machine.http.script.readyStates = {1, 1, 1, 4};
  ASSERT_TRUE(Send());
  EXPECT_EQ(machine.system.Sleeps(), (std::vector<std::uint32_t>{5, 5, 5}));
  EXPECT_EQ(machine.desktop.DoEventsCount(), 3u);
  const auto names = machine.http.CallNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), L"readyState"), 5);  // four passes and step 13
}

// The deadline: the start rounded to the nearest whole second, plus 300 seconds, on the tick count.
TEST_F(ReportSubmissionTest, TheWaitEndsAtTheDeadlineRoundedToTheStartsSecond) {
  struct Case { std::uint32_t startTicks; std::uint64_t slept; };
  // The wait ends at the first pass that finds the clock past the deadline (5 ms passes).
  for (const Case& c : std::vector<Case>{{1000, 300005}, {1499, 299505}, {1500, 300505}, {4294817000u, 300005}}) {
    platform::FakeMachine m;
    m.system.SetTickCount(c.startTicks);
    m.http.script.readyStates = {1};
    std::wstring why;
    EXPECT_FALSE(CL().Do1(L"LDW\\Uninstall", Values(), why));
    EXPECT_EQ(why, L"Cannot send. ");
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
  platform::Services services;
  services.system = &system;
  const platform::Services previous = platform::Install(services);
  machine.http.script.readyStates = {1};
  std::wstring why;
  const bool sent = CL().Do1(L"LDW\\Uninstall", Values(), why);
  platform::Install(previous);
  EXPECT_FALSE(sent);
  EXPECT_EQ(why, L"Cannot send. ");
  EXPECT_GE(system.TotalSlept(), 299500u);
  EXPECT_LE(system.TotalSlept(), 300505u);
  EXPECT_EQ(system.Now().day, 3);  // the wait did cross midnight
}

}  // namespace
