// HTTP request objects created by ProgID over COM (MSXML's XMLHTTP), called through IXMLHTTPRequest.
#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>

#include <cstdio>
#include <utility>

#include "platform/ComPtr.h"
#include "platform/PlatformInternal.h"

namespace platform {
namespace {

// IXMLHTTPRequest, which MinGW's libraries do not define.
constexpr IID kIidXmlHttpRequest = {0xED8C108D, 0x4349, 0x11D2, {0x91, 0xA4, 0x00, 0xC0, 0x4F, 0x79, 0x69, 0xE8}};

// A move-only owner of a BSTR, freed in the destructor.
class Bstr {
 public:
  Bstr() noexcept = default;
  explicit Bstr(const std::wstring& text) : value_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { ::SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  Bstr(Bstr&& other) noexcept : value_(std::exchange(other.value_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept {
    if (this != &other) {
      ::SysFreeString(value_);
      value_ = std::exchange(other.value_, nullptr);
    }
    return *this;
  }
  BSTR Get() const noexcept { return value_; }
  BSTR* Put() noexcept {
    ::SysFreeString(std::exchange(value_, nullptr));
    return &value_;
  }
  std::wstring Text() const { return value_ ? std::wstring(value_, ::SysStringLen(value_)) : std::wstring(); }

 private:
  BSTR value_ = nullptr;
};

// The result of a COM call, described as "<call>: <system text> (0x...)".
HttpResult Result(HRESULT hr, const wchar_t* call) {
  HttpResult result;
  result.hr = static_cast<std::uint32_t>(hr);
  if (result.Failed()) {
    wchar_t code[16];
    std::swprintf(code, 16, L"0x%08X", static_cast<unsigned>(hr));
    std::wstring text = detail::Win32System().ErrorText(static_cast<std::uint32_t>(hr));
    if (text.rfind(L"Error ", 0) == 0) text = L"The request failed";  // no system text for this code
    result.description = std::wstring(call) + L": " + text + L" (" + code + L")";
  }
  return result;
}

// An argument left out of a call through a VARIANT.
VARIANT Missing() {
  VARIANT v;
  ::VariantInit(&v);
  V_VT(&v) = VT_ERROR;
  V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
  return v;
}

// The Boolean True as an argument through a VARIANT.
VARIANT True() {
  VARIANT v;
  ::VariantInit(&v);
  V_VT(&v) = VT_BOOL;
  V_BOOL(&v) = VARIANT_TRUE;
  return v;
}

class XmlHttpRequest final : public IHttpRequest {
 public:
  explicit XmlHttpRequest(win32::ComPtr<IXMLHTTPRequest> object) : object_(std::move(object)) {}

  HttpResult Open(const std::wstring& method, const std::wstring& url) override {
    Bstr bstrMethod(method), bstrUrl(url);
    // The asynchronous flag is passed, not left out: Wine's object takes a missing flag as False, and its
    // send would then hold the thread until the answer.
    return Result(object_->open(bstrMethod.Get(), bstrUrl.Get(), True(), Missing(), Missing()),
                  L"XMLHTTP.open");
  }

  HttpResult SetRequestHeader(const std::wstring& header, const std::wstring& value) override {
    Bstr bstrHeader(header), bstrValue(value);
    return Result(object_->setRequestHeader(bstrHeader.Get(), bstrValue.Get()), L"XMLHTTP.setRequestHeader");
  }

  HttpResult Send(const std::wstring& body) override {
    Bstr text(body);
    VARIANT v;
    ::VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = text.Get();  // borrowed: `text` frees it
    return Result(object_->send(v), L"XMLHTTP.send");
  }

  HttpResult ReadyState(std::int32_t& state) override {
    LONG value = 0;
    const HRESULT hr = object_->get_readyState(&value);
    if (SUCCEEDED(hr)) state = static_cast<std::int32_t>(value);
    return Result(hr, L"XMLHTTP.readyState");
  }

  HttpResult Status(std::int32_t& status) override {
    LONG value = 0;
    const HRESULT hr = object_->get_status(&value);
    if (SUCCEEDED(hr)) status = static_cast<std::int32_t>(value);
    return Result(hr, L"XMLHTTP.status");
  }

  HttpResult StatusText(std::wstring& text) override {
    Bstr value;
    const HRESULT hr = object_->get_statusText(value.Put());
    if (SUCCEEDED(hr)) text = value.Text();
    return Result(hr, L"XMLHTTP.statusText");
  }

  HttpResult Abort() override { return Result(object_->abort(), L"XMLHTTP.abort"); }

 private:
  win32::ComPtr<IXMLHTTPRequest> object_;
};

class Win32HttpImpl final : public IHttp {
 public:
  HttpResult CreateRequest(const std::wstring& progId, std::unique_ptr<IHttpRequest>& request) override {
    request.reset();
    // COM for this thread, set up once and kept until the thread ends.
    thread_local win32::ComApartment apartment;
    if (!apartment.Usable()) return Result(CO_E_NOTINITIALIZED, L"CoInitializeEx");
    CLSID clsid{};
    HRESULT hr = ::CLSIDFromProgID(progId.c_str(), &clsid);
    if (FAILED(hr)) return Result(hr, (L"CLSIDFromProgID(\"" + progId + L"\")").c_str());
    win32::ComPtr<IXMLHTTPRequest> object;
    hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidXmlHttpRequest, object.PutVoid());
    if (FAILED(hr)) return Result(hr, (L"CoCreateInstance(\"" + progId + L"\")").c_str());
    request = std::make_unique<XmlHttpRequest>(std::move(object));
    return {};
  }
};

}  // namespace

namespace detail {
IHttp& Win32Http() {
  static Win32HttpImpl http;
  return http;
}
}  // namespace detail

}  // namespace platform
