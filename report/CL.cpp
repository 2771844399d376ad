#include "report/CL.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "common/Error.h"
#include "common/FileUtilities.h"
#include "common/Utilities.h"
#include "platform/Platform.h"
#include "report/Zip.h"
#include "shell/Product.h"
#include "ui/PropertyBag.h"

namespace {

constexpr std::uint32_t kPassSleepMs = 5;

// A failed call on the request object, as an error of Do1 carrying its HRESULT.
void Check(const platform::HttpResult& result) {
  if (!result.Failed()) return;
  std::wstring description = result.description;
  if (description.empty()) {
    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08X", static_cast<unsigned>(result.hr));
    description = std::wstring(L"The HTTP request failed (") + code + L")";
  }
  throw CError(err::FromBits(result.hr), description);
}

std::int32_t ReadyState(platform::IHttpRequest& request) {
  std::int32_t state = 0;
  Check(request.ReadyState(state));
  return state;
}

// The deadline on the system's millisecond tick count, which neither midnight nor a change of the clock
// moves: the start rounded to the nearest whole second, plus the wait. Tick counts are compared by
// their difference, so the count's wrap after 49.7 days does not move it either.
std::uint32_t Deadline(std::uint32_t startTicks) {
  const std::uint64_t rounded = (std::uint64_t{startTicks} + 500u) / 1000u * 1000u;
  return static_cast<std::uint32_t>(rounded + CL::kWaitSeconds * 1000u);  // wraps as the count does
}

bool Past(std::uint32_t nowTicks, std::uint32_t deadline) {
  return static_cast<std::int32_t>(nowTicks - deadline) > 0;
}

bool IsSuccess(std::int32_t status) { return status == 200 || status == 206 || status == 302 || status == 304; }

void DeleteQuietly(const std::wstring& path) {
  if (path.empty()) return;
  unsigned long ignored = 0;
  platform::Files().Delete(path, ignored);  // a file that was never made is no error either
}

}  // namespace

std::wstring CL::EncodeFormValue(const std::wstring& Text) {
  std::wstring out;
  out.reserve(Text.size());
  for (wchar_t c : Text) {
    switch (c) {
      case L'+': out += L"%2B"; break;
      case L'\r': out += L"%0D"; break;
      case L'\n': out += L"%0A"; break;
      case L'\\': out += L"%5C"; break;
      default: out += c;
    }
  }
  return out;
}

bool CL::Do1(const std::wstring& Category, const CProperties& o, std::wstring& FalseCouse) {
  std::wstring requestFile, zipFile;
  try {
    std::wstring subject = Category;
    std::replace(subject.begin(), subject.end(), L'/', L'\\');
    const std::wstring id = Utilities().NewID();
    std::wstring folder = Utilities().TempFolder();
    if (folder.empty() || folder.back() != L'\\') folder += L'\\';
    requestFile = folder + id + L".dat";
    zipFile = Utilities().GetTempFileName(L"sc") + L".zip";

    ui::PropertyBag bag;
    bag.WriteProperty(L"cat", subject);
    bag.WriteProperty(L"id", id);
    bag.WriteProperty(L"dat", o);
    FileUtilities().WriteFileBytes(requestFile, bag.Contents());

    cZip zip;
    zip.SetZipFile(zipFile);
    zip.SetStoreFolderNames(false);
    zip.SetRecurseSubDirs(false);
    zip.ClearFileSpecs();
    zip.AddFileSpec(requestFile);
    zip.Zip();

    const std::vector<std::uint8_t> bytes = FileUtilities().ReadFileBytes(zipFile);
    try {
      FileUtilities().CopyFile(zipFile, platform::Files().ProgramFolder() + L"\\Request.dat");
    } catch (const CError&) {
      // The copy's result is not looked at: the kept copy is for the user's own reference.
    }
    const std::wstring text = Utilities().BytesToText(bytes);
    const std::wstring body =
        L"subject=" + EncodeFormValue(subject + L"\\" + id) + L"&value=" + EncodeFormValue(text);

    std::unique_ptr<platform::IHttpRequest> request;
    Check(platform::Http().CreateRequest(L"MSXML2.XMLHTTP", request));
    Check(request->Open(L"POST", std::wstring(L"http://") + product::kSubmissionHost + L"/php/ic.php"));
    Check(request->SetRequestHeader(L"Content-Type", L"application/x-www-form-urlencoded"));
    Check(request->Send(body));

    const std::uint32_t deadline = Deadline(platform::System().GetTickCount());
    for (;;) {
      const std::int32_t state = ReadyState(*request);
      if (state == platform::kReadyComplete || Past(platform::System().GetTickCount(), deadline)) break;
      Utilities().DoEventsEx();
      platform::System().Sleep(kPassSleepMs);
    }

    // No connection yet, or an answer still arriving: the request is aborted. In any other state the
    // status decides (reading it fails where the state holds none, which is an error of the send).
    const std::int32_t state = ReadyState(*request);
    if (state == platform::kReadyLoading || state == platform::kReadyInteractive) {
      Check(request->Abort());
      FalseCouse = kCannotSend;
      return false;
    }
    std::int32_t status = 0;
    Check(request->Status(status));
    if (IsSuccess(status)) return true;
    std::wstring statusText;
    Check(request->StatusText(statusText));
    FalseCouse = statusText;
    return false;
  } catch (...) {
    FalseCouse = CurrentError().Description();
    DeleteQuietly(requestFile);
    DeleteQuietly(zipFile);
    return false;
  }
}
