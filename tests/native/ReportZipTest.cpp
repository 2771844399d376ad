#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "common/Error.h"
#include "common/Logger.h"
#include "report/Zip.h"
#include "shell/MWDL.h"
#include "tests/doubles/FakeMachine.h"
#include "tests/native/ErrorOf.h"

namespace {

using ZipOptionRecord = cZip::ZipOptionRecord;

class ReportZipTest : public ::testing::Test {
 protected:
  platform::FakeMachine machine;
};

TEST_F(ReportZipTest, ANewObjectStoresNoFoldersNoDirectoriesAndDoesNotRecurse) {
  cZip zip;
  ZipOptionRecord expected;  // every number 0, every text unset ...
  expected.fNoDirEntries = 1;  // ... but these two
  expected.fJunkDir = 1;
  EXPECT_TRUE(zip.Options() == expected);
  EXPECT_EQ(zip.FileSpecCount(), 0);
  EXPECT_EQ(zip.ZipFile(), L"");
  EXPECT_FALSE(zip.StoreDirectories() || zip.StoreFolderNames() || zip.RecurseSubDirs());
}

// Each Boolean property: what True and False write into the record, and that Get reads it back.
TEST_F(ReportZipTest, BooleanPropertiesWriteTheirFieldsAndReadThemBack) {
  struct Case {
    const char* name;
    void (cZip::*let)(bool);
    bool (cZip::*get)() const;
    std::int32_t ZipOptionRecord::*field;
    std::int32_t ifTrue, ifFalse;
  };
  const std::vector<Case> cases = {
      {"Encrypt", &cZip::SetEncrypt, &cZip::Encrypt, &ZipOptionRecord::fEncrypt, 1, 0},
      {"IncludeSystemAndHiddenFiles", &cZip::SetIncludeSystemAndHiddenFiles, &cZip::IncludeSystemAndHiddenFiles,
       &ZipOptionRecord::fSystem, 1, 0},
      {"StoreVolumeLabel", &cZip::SetStoreVolumeLabel, &cZip::StoreVolumeLabel, &ZipOptionRecord::fVolume, 1, 0},
      {"StoreDirectories", &cZip::SetStoreDirectories, &cZip::StoreDirectories, &ZipOptionRecord::fNoDirEntries, 0, 1},
      {"StoreFolderNames", &cZip::SetStoreFolderNames, &cZip::StoreFolderNames, &ZipOptionRecord::fJunkDir, 0, 1},
      {"RecurseSubDirs", &cZip::SetRecurseSubDirs, &cZip::RecurseSubDirs, &ZipOptionRecord::fRecurse, 2, 0},
      {"UpdateOnlyIfNewer", &cZip::SetUpdateOnlyIfNewer, &cZip::UpdateOnlyIfNewer, &ZipOptionRecord::fUpdate, 1, 0},
      {"FreshenFiles", &cZip::SetFreshenFiles, &cZip::FreshenFiles, &ZipOptionRecord::fFreshen, 1, 0},
      {"ConvertCRLFToLF", &cZip::SetConvertCRLFToLF, &cZip::ConvertCRLFToLF, &ZipOptionRecord::fCRLF_LF, 1, 0},
      {"ConvertLFToCRLF", &cZip::SetConvertLFToCRLF, &cZip::ConvertLFToCRLF, &ZipOptionRecord::fLF_CRLF, 1, 0},
      {"AllowAppend", &cZip::SetAllowAppend, &cZip::AllowAppend, &ZipOptionRecord::fGrow, 1, 0},
  };
  for (const Case& c : cases) {
    cZip zip;
    for (const bool value : {true, false}) {
      (zip.*c.let)(value);
      EXPECT_EQ(std::pair(zip.Options().*c.field, (zip.*c.get)()), std::pair(value ? c.ifTrue : c.ifFalse, value))
          << c.name;
    }
  }
}

TEST_F(ReportZipTest, MessageLevelSetsVerboseAndQuietAndIgnoresOtherValues) {
  cZip zip;
  struct Step { std::int32_t let; std::int32_t verbose, quiet, get; };
  for (const Step& s : std::vector<Step>{{0, 1, 0, 0}, {7, 1, 0, 0}, {1, 0, 1, 1}, {-1, 0, 1, 1}, {2, 0, 0, 2}}) {
    zip.SetMessageLevel(s.let);
    EXPECT_EQ(std::tuple(zip.Options().fVerbose, zip.Options().fQuiet, zip.MessageLevel()),
              std::tuple(s.verbose, s.quiet, s.get)) << s.let;
  }
}

TEST_F(ReportZipTest, FileSpecsCountFromOneAndRefuseEveryOtherIndex) {
  cZip zip;
  EXPECT_EQ(ErrorOf([&] { zip.FileSpec(1); }), err::kSubscriptOutOfRange);
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(zip.AddFileSpec(L"f" + std::to_wstring(i)), 0);
  EXPECT_EQ(std::tuple(zip.FileSpecCount(), zip.FileSpec(1), zip.FileSpec(5)), std::tuple(5, L"f1", L"f5"));
  for (std::int32_t bad : {0, 6, -1}) EXPECT_EQ(ErrorOf([&] { zip.FileSpec(bad); }), err::kSubscriptOutOfRange) << bad;
  zip.ClearFileSpecs();
  EXPECT_EQ(zip.FileSpecCount(), 0);
}

TEST_F(ReportZipTest, ZipHandsTheLibraryItsCallbacksOptionsAndNameList) {
  machine.files.AddFile(L"C:\\Temp\\req.dat", {1, 2, 3});
  cZip zip;
  zip.SetZipFile(L"C:\\Temp\\out.zip");
  zip.AddFileSpec(L"C:\\Temp\\req.dat");
  zip.AddFileSpec(L"C:\\Temp\\missing.dat");
  zip.Zip();
  EXPECT_EQ(machine.zipLibrary.Calls(), (std::vector<std::string>{"ZpInit", "ZpSetOptions", "ZpArchive"}));
  const auto& cb = machine.zipLibrary.Callbacks();
  EXPECT_EQ(std::tuple(cb.print, cb.password, cb.comment, cb.service),
            std::tuple(&mZip::PrintCallback, &mZip::PasswordCallback, &mZip::CommentCallback, &mZip::ServiceCallback));
  const platform::ZipOptions& sent = machine.zipLibrary.OptionsSeen().at(0);
  EXPECT_FALSE(sent.date || sent.rootDir || sent.tempDir);  // never set: null pointers
  EXPECT_EQ(std::tuple(sent.fJunkDir, sent.fNoDirEntries), std::tuple(1, 1));
  const platform::ZipArchiveCall& call = machine.zipLibrary.Archives().at(0);
  EXPECT_EQ(std::tuple(call.count, call.zipFile), std::tuple(2, std::string("C:\\Temp\\out.zip")));
  // The names, an end marker and an empty name, then nothing up to the 1024th entry.
  std::vector<std::optional<std::string>> names(1024);
  names[0] = "C:\\Temp\\req.dat";
  names[1] = "C:\\Temp\\missing.dat";
  names[3] = "";
  EXPECT_EQ(call.names.entries, names);
  EXPECT_TRUE(machine.files.HasFile(L"C:\\Temp\\out.zip"));  // the one file there, under its bare name
  EXPECT_NE(machine.files.FileText(L"C:\\Temp\\out.zip").find("req.dat"), std::string::npos);
  EXPECT_EQ(machine.files.FileText(L"C:\\Temp\\out.zip").find("Temp"), std::string::npos);
}

TEST_F(ReportZipTest, AtMost1022SpecsReachTheLibrary) {
  cZip zip;
  for (int i = 0; i < 1022; ++i) zip.AddFileSpec(L"f" + std::to_wstring(i));
  zip.Zip();
  ASSERT_EQ(machine.zipLibrary.Archives().size(), 1u);
  const auto& names = machine.zipLibrary.Archives()[0].names.entries;
  EXPECT_EQ(std::vector(names.begin() + 1021, names.end()),
            (std::vector<std::optional<std::string>>{"f1021", std::nullopt, ""}));
  zip.AddFileSpec(L"one too many");
  EXPECT_EQ(ErrorOf([&] { zip.Zip(); }), err::kSubscriptOutOfRange);
  EXPECT_EQ(machine.zipLibrary.Archives().size(), 1u);  // refused before ZpArchive
}

TEST_F(ReportZipTest, ALibraryThatCannotBeHadIsTheErrorOfTheCaller) {
  struct Case { unsigned long loadError; const char* missing; long error; };
  for (const Case& c : std::vector<Case>{{126, "", 53}, {0, "ZpInit", 453}, {0, "ZpArchive", 453}, {193, "", 48}}) {
    platform::FakeMachine m;
    m.zipLibrary.loadError = c.loadError;
    m.zipLibrary.missingFunction = c.missing;
    cZip zip;
    zip.AddFileSpec(L"x");
    EXPECT_EQ(ErrorOf([&] { zip.Zip(); }), c.error) << c.loadError << c.missing;
  }
}

TEST_F(ReportZipTest, BasePathIsMadeCurrentUnlessBlank) {
  cZip zip;
  zip.SetBasePath(L"   ");
  zip.Zip();
  EXPECT_TRUE(machine.zipLibrary.Directories().empty());
  EXPECT_EQ(machine.zipLibrary.OptionsSeen().back().rootDir, std::optional<std::string>("   "));
  zip.SetBasePath(L" C:\\Data ");
  zip.Zip();
  EXPECT_EQ(machine.zipLibrary.Directories(), (std::vector<std::wstring>{L" C:\\Data "}));
  machine.zipLibrary.changeDirectoryError = 3;
  EXPECT_EQ(ErrorOf([&] { zip.Zip(); }), 76);
  EXPECT_EQ(machine.zipLibrary.Archives().size(), 2u);
}

TEST_F(ReportZipTest, WhatTheLibraryLeavesInTheRecordComesBack) {
  machine.zipLibrary.onSetOptions = [](platform::ZipOptions& o) {
    o.rootDir = "C:\\Other";
    o.fGrow = 2;  // not 1: AllowAppend reads False
    o.fLevel = 9;
  };
  cZip zip;
  zip.SetBasePath(L"C:\\Base");
  zip.SetAllowAppend(true);
  zip.Zip();
  EXPECT_EQ(std::tuple(zip.BasePath(), zip.AllowAppend(), zip.Options().fLevel), std::tuple(L"C:\\Other", false, 9));
}

TEST_F(ReportZipTest, DeleteRunsWithTheDeleteFlagAndClearsItAgainEvenAfterAnError) {
  cZip zip;
  zip.Delete();
  EXPECT_EQ(std::pair(machine.zipLibrary.Archives().at(0).options.fDeleteEntries, zip.Options().fDeleteEntries),
            std::pair(1, 0));
  machine.zipLibrary.missingFunction = "ZpArchive";
  EXPECT_EQ(ErrorOf([&] { zip.Delete(); }), 453);
  EXPECT_EQ(zip.Options().fDeleteEntries, 0);
}

// The print callback raises ProgressMessage on the running object only for lengths 2 to 31,999.
TEST_F(ReportZipTest, PrintRaisesProgressWithBackslashesForLengthsTwoTo31999) {
  std::string big(32000, 'a');
  big[0] = '/';
  struct Case { const char* text; std::uint32_t length; std::vector<std::wstring> expected; };
  const std::vector<Case> cases = {
      {"a", 1, {}},
      {big.c_str(), 32000, {}},
      {big.c_str(), 31999, {L"\\" + std::wstring(31998, L'a')}},
      {"a/b/c", 2, {L"a\\"}},
      {"dir/file.dat\0tail", 17, {L"dir\\file.dat"}},
      {nullptr, 5, {}},
  };
  for (const Case& c : cases) {
    std::vector<std::wstring> seen;
    cZip zip;
    zip.ProgressMessage = [&](std::int32_t count, const std::wstring& text) {
      EXPECT_EQ(count, 1);
      seen.push_back(text);
    };
    machine.zipLibrary.onArchive = [&](const platform::ZipCallbacks& cb) { EXPECT_EQ(cb.print(c.text, c.length), 0); };
    zip.Zip();
    EXPECT_EQ(seen, c.expected) << c.length;
  }
}

TEST_F(ReportZipTest, PasswordIsCappedAt254BytesAndTheBuffersSize) {
  struct Case { std::wstring password; std::int32_t size; std::size_t copied; };
  for (const Case& c : std::vector<Case>{{std::wstring(300, L'p'), 1000, 254}, {L" pw ", 1000, 4},
                                         {std::wstring(300, L'p'), 81, 80}}) {
    cZip zip;
    zip.PasswordRequest = [&](std::wstring& password, bool&) { password = c.password; };
    std::vector<char> buffer(1000, '#');
    machine.zipLibrary.onArchive = [&](const platform::ZipCallbacks& cb) {
      EXPECT_EQ(cb.password(buffer.data(), c.size, "Enter password", "x.zip"), 0);
    };
    zip.Zip();
    // The copy, its end, and nothing written behind it.
    EXPECT_EQ(std::string(buffer.data(), c.copied + 2),
              platform::System().ToAnsi(c.password).substr(0, c.copied) + std::string("\0#", 2));
  }
}

TEST_F(ReportZipTest, ARefusedPasswordAnswersEveryLaterRequestOfTheRunWithoutAsking) {
  struct Case { std::wstring password; bool cancel; };
  for (const Case& c : std::vector<Case>{{L"", false}, {L"   ", false}, {L"secret", true}}) {
    int asked = 0;
    cZip zip;
    zip.PasswordRequest = [&](std::wstring& password, bool& cancel) {
      ++asked;
      password = c.password;
      cancel = c.cancel;
    };
    char buffer[100] = {};
    std::vector<std::int32_t> answers;
    machine.zipLibrary.onArchive = [&](const platform::ZipCallbacks& cb) {
      for (int i = 0; i < 3; ++i) answers.push_back(cb.password(buffer, 100, "p", "n"));
    };
    zip.Zip();
    EXPECT_EQ(std::tuple(answers, asked, buffer[0]), std::tuple(std::vector<std::int32_t>{1, 1, 1}, 1, '\0'));
    zip.Zip();  // a new run asks again
    EXPECT_EQ(asked, 2);
  }
}

// Errors inside the callbacks are ignored: none reaches the library, and none is logged.
TEST_F(ReportZipTest, HandlerErrorsStayInsideTheCallbacks) {
  struct CountingLogger : CLogger {
    void Log(long, const std::wstring&, int, const std::wstring&) override { ++lines; }
    int lines = 0;
  };
  const auto logger = std::make_shared<CountingLogger>();
  const std::shared_ptr<CLogger> saved = std::exchange(MWDL::goLogger, logger);
  cZip zip;
  zip.ProgressMessage = [](std::int32_t, const std::wstring&) { throw CError(5, L"handler failed"); };
  zip.PasswordRequest = [](std::wstring& password, bool&) {
    password = L"given";
    throw std::runtime_error("handler failed");
  };
  std::int32_t print = -1, password = -1;
  char buffer[16] = {};
  machine.zipLibrary.onArchive = [&](const platform::ZipCallbacks& cb) {
    print = cb.print("a/b", 3);
    password = cb.password(buffer, 16, "p", "n");  // goes on with what the handler had set
  };
  EXPECT_EQ(ErrorOf([&] { zip.Zip(); }), 0);
  EXPECT_EQ(std::tuple(print, password, std::string(buffer)), std::tuple(0, 0, "given"));
  MWDL::goLogger = saved;
  EXPECT_EQ(logger->lines, 0);
}

TEST_F(ReportZipTest, CommentIsEmptyAndServiceGoesOn) {
  EXPECT_STREQ(mZip::CommentCallback(nullptr), "");  // a null pointer fails this too
  EXPECT_EQ(mZip::ServiceCallback("C:\\a.dat", 12), 0);
  std::wstring text = L"a/b//c\\d/";
  mZip::SlashesToBackslashes(text);
  EXPECT_EQ(text, L"a\\b\\\\c\\d\\");
}

// The callbacks raise the events of the last run's object, which the module keeps until it goes away;
// an earlier object going away changes nothing, and once the last one is gone the callbacks raise nothing
// (the sanitizer would see a use of the gone object).
TEST_F(ReportZipTest, CallbacksRaiseTheLastRunsEventsUntilThatObjectGoesAway) {
  std::vector<std::wstring> heard;
  auto listen = [&heard](cZip& zip, const std::wstring& who) {
    zip.ProgressMessage = [&heard, who](std::int32_t, const std::wstring& text) { heard.push_back(who + L":" + text); };
  };
  auto first = std::make_unique<cZip>();
  listen(*first, L"first");
  first->Zip();
  mZip::PrintCallback("a/b", 3);
  auto second = std::make_unique<cZip>();
  listen(*second, L"second");
  second->Zip();
  first.reset();
  mZip::PrintCallback("c/d", 3);
  second.reset();
  EXPECT_EQ(mZip::PrintCallback("e/f", 3), 0);
  EXPECT_EQ(heard, (std::vector<std::wstring>{L"first:a\\b", L"second:c\\d"}));

  // Nothing in the program raises the cancel request, but an object raises it when asked.
  cZip zip;
  bool raised = false, cancel = false;
  zip.CancelRequest = [&](const std::wstring& message, bool& bCancel) { raised = message == L"stop?" && !bCancel; };
  zip.RaiseCancelEvent(L"stop?", cancel);
  EXPECT_TRUE(raised);
}

}  // namespace
