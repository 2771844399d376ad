#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// What one call on an HTTP request object gave: its HRESULT, S_OK or another success code (an
// asynchronous send gives MK_S_ASYNCHRONOUS), or the failing HRESULT with a description of the failure
// that names the call ("XMLHTTP.send: ... (0x800C0005)").
struct HttpResult {
  std::uint32_t hr = 0;
  std::wstring description;
  bool Failed() const noexcept { return (hr & 0x80000000u) != 0; }
};

// HRESULTs the callers and the tests name.
constexpr std::uint32_t kHrFail = 0x80004005u;                // E_FAIL, "Unspecified error"
constexpr std::uint32_t kHrPending = 0x8000000Au;             // E_PENDING: the data is not there yet
constexpr std::uint32_t kHrInvalidClassString = 0x800401F3u;  // CO_E_CLASSSTRING: no such ProgID
constexpr std::uint32_t kHrClassNotRegistered = 0x80040154u;  // REGDB_E_CLASSNOTREG

// The readyState values of a request.
constexpr std::int32_t kReadyUninitialized = 0;  // created, not opened
constexpr std::int32_t kReadyLoading = 1;        // opened; sent or not, no answer yet
constexpr std::int32_t kReadyLoaded = 2;         // the answer's status and headers are in (Wine: sent,
                                                 // until complete; for good when the connection failed)
constexpr std::int32_t kReadyInteractive = 3;    // the answer's body is arriving
constexpr std::int32_t kReadyComplete = 4;       // the answer is complete

// One HTTP request object (MSXML's XMLHTTP), driven as a script drives it. Each call returns its
// result; an output keeps the value it had when its call fails.
class IHttpRequest {
 public:
  virtual ~IHttpRequest() = default;

  // open(method, url) for an asynchronous request without credentials: the asynchronous flag passed as
  // True (Windows' default for a missing flag, which Wine's object would take as False), user name and
  // password left out.
  virtual HttpResult Open(const std::wstring& method, const std::wstring& url) = 0;
  virtual HttpResult SetRequestHeader(const std::wstring& header, const std::wstring& value) = 0;
  // send(body) with the body as text (the object sends it as UTF-8). It returns at once, before any
  // answer; the request moves on (and its answer comes in) only while the thread processes its window
  // messages.
  virtual HttpResult Send(const std::wstring& body) = 0;
  virtual HttpResult ReadyState(std::int32_t& state) = 0;
  // The answer's HTTP status and status text; they fail while no answer is there (Wine's object: in
  // every state but complete).
  virtual HttpResult Status(std::int32_t& status) = 0;
  virtual HttpResult StatusText(std::wstring& text) = 0;
  virtual HttpResult Abort() = 0;
};

// Creates HTTP request objects by ProgID. The Win32 implementation sets up COM on the calling thread
// (a single-threaded apartment) at its first call and leaves it set up.
class IHttp {
 public:
  virtual ~IHttp() = default;
  // A new request object of class `progId` ("MSXML2.XMLHTTP"); `request` is null after a failure.
  virtual HttpResult CreateRequest(const std::wstring& progId, std::unique_ptr<IHttpRequest>& request) = 0;
};

}  // namespace platform
