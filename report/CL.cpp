#include "report/CL.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "common/Error.h"
#include "common/FileUtilities.h"
#include "common/Utilities.h"
#include "platform/KeyFold.h"
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

bool IsBlank(const std::wstring& text) { return text.find_first_not_of(L" \t\r\n") == std::wstring::npos; }

// The value of header `name` among `headers` (one "Name: value" a line), without the blanks around it;
// false when there is no such header. Header names compare without regard to case.
bool HeaderValue(const std::wstring& headers, const std::wstring& name, std::wstring& value) {
  for (std::size_t start = 0; start < headers.size();) {
    const std::size_t end = std::min(headers.find(L'\n', start), headers.size());
    const std::wstring line = headers.substr(start, end - start);
    start = end + 1;
    const std::size_t colon = line.find(L':');
    if (colon == std::wstring::npos || platform::FoldKey(line.substr(0, colon)) != platform::FoldKey(name)) continue;
    const std::size_t first = line.find_first_not_of(L" \t", colon + 1);
    const std::size_t last = line.find_last_not_of(L" \t\r");
    value = first == std::wstring::npos ? std::wstring() : line.substr(first, last - first + 1);
    return true;
  }
  return false;
}

// A Content-Length value as a number; false when it is none (digits only, at most 18 of them).
bool ParseLength(const std::wstring& text, std::uint64_t& length) {
  if (text.empty() || text.size() > 18) return false;
  length = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    length = length * 10 + static_cast<std::uint64_t>(c - L'0');
  }
  return true;
}

// Whether a complete answer arrived whole, as far as the request object shows it. The system completes
// an answer that the connection cut short as though it had ended, and reads bytes without a status line
// as an answer of HTTP/0.9 with status 200 and no headers. So the answer must carry headers, and a body
// of the length its Content-Length names (a 304 has no body, whatever length it names). An answer
// without that header (chunks, or a body up to the connection's end) is taken as the object decoded it.
bool AnswerIsWhole(platform::IHttpRequest& request, std::int32_t status) {
  std::wstring headers;
  Check(request.ResponseHeaders(headers));
  if (IsBlank(headers)) return false;
  std::wstring named;
  if (status == 304 || !HeaderValue(headers, L"Content-Length", named)) return true;
  std::uint64_t length = 0;
  if (!ParseLength(named, length)) return false;
  std::uint64_t received = 0;
  Check(request.ResponseBodyBytes(received));
  return received == length;
}

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
      // The kept copy is for the user's own reference; a send does not depend on it.
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

    // Only a complete answer can say the message arrived: in any other state (no connection, an answer
    // still arriving, a request the system left half done) the send has failed.
    if (ReadyState(*request) != platform::kReadyComplete) {
      Check(request->Abort());
      FalseCouse = kCannotSend;
      return false;
    }
    std::int32_t status = 0;
    Check(request->Status(status));
    if (IsSuccess(status)) {
      // A success that did not arrive whole is no more an answer than one still arriving.
      if (AnswerIsWhole(*request, status)) return true;
      FalseCouse = kCannotSend;
      return false;
    }
    std::wstring statusText;
    Check(request->StatusText(statusText));
    FalseCouse = IsBlank(statusText) ? L"HTTP status " + std::to_wstring(status) + L". " : statusText;
    return false;
  } catch (...) {
    FalseCouse = CurrentError().Description();
    DeleteQuietly(requestFile);
    DeleteQuietly(zipFile);
    return false;
  }
}
