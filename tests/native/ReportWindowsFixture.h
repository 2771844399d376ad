#pragma once
// Shared set-up of the report windows' tests: the headless toolkit on an in-memory machine, the
// program-wide objects a compilation of the system state uses, a logger that keeps its lines, and
// what reached the HTTP double, taken apart as the vendor reads it.
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "common/Registry.h"
#include "inspection/FileInfoManager.h"
#include "inspection/FilenameResolver.h"
#include "inspection/Hashier.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"
#include "tests/native/InspectionEnumFixture.h"
#include "tests/native/RequestBody.h"
#include "tests/native/UiHeadlessFixture.h"

// The error number of a failed submission.
constexpr long kSubmissionFailed = err::FromBits(0x8004038Au);

class ReportWindowsTest : public UiHeadlessTest {
 protected:
  ReportWindowsTest() {
    MWDL::goLogger = logger;
    MWDL::goRegistry = std::make_shared<CRegistry>();
    MWDL::goHashier = std::make_shared<CHashier>();
    MWDL::goFileInfoManager = std::make_shared<CFileInfoManager>();
    MWDL::goFilenameResolver = std::make_shared<CFilenameResolver>();
    MWDL::gsVersion = L"2.0.24";
    MAPI::gbIsNT = true;
  }
  ~ReportWindowsTest() override {
    std::tie(MWDL::goLogger, MWDL::goRegistry, MWDL::goHashier, MWDL::goFileInfoManager, MWDL::goFilenameResolver,
             MWDL::gsVersion, MAPI::gbIsNT) = saved_;
  }

  // Every request sent so far, in order.
  std::vector<request_body::Decoded> Sent() const {
    std::vector<request_body::Decoded> sent;
    for (const platform::HttpCall& call : machine.http.Calls()) {
      if (call.name == L"send") sent.push_back(request_body::Decode(call.args.at(0)));
    }
    return sent;
  }
  // The text of value `name` of a sent request; "(none)" when it has no such value.
  static std::wstring ValueOf(const request_body::Decoded& request, const std::wstring& name) {
    auto values = request.bag.ReadProperty(L"dat", std::shared_ptr<CProperties>());
    if (!values || !values->Exists(name)) return L"(none)";
    return values->Item(name).Text();
  }
  // (prompt, style) of each message box shown so far.
  std::vector<std::tuple<std::wstring, unsigned>> Boxes() const {
    std::vector<std::tuple<std::wstring, unsigned>> boxes;
    for (const platform::ShownBox& box : machine.desktop.Boxes()) boxes.emplace_back(box.prompt, box.style);
    return boxes;
  }
  // (number, message, level, source) of each line logged so far.
  std::vector<std::tuple<long, std::wstring, int, std::wstring>> Lines(const CapturingLogger& log) const {
    std::vector<std::tuple<long, std::wstring, int, std::wstring>> lines;
    for (const LogLine& line : log.lines) lines.emplace_back(line.number, line.message, line.level, line.source);
    return lines;
  }

  std::shared_ptr<CapturingLogger> logger = std::make_shared<CapturingLogger>();

 private:
  std::tuple<std::shared_ptr<CLogger>, std::shared_ptr<CRegistry>, std::shared_ptr<CHashier>,
             std::shared_ptr<CFileInfoManager>, std::shared_ptr<CFilenameResolver>, std::wstring, bool>
      saved_{MWDL::goLogger,          MWDL::goRegistry,   MWDL::goHashier, MWDL::goFileInfoManager,
             MWDL::goFilenameResolver, MWDL::gsVersion, MAPI::gbIsNT};
};
