#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Http.h"

namespace platform {

// One call on a FakeHttp request, as recorded: its name ("create", "open", "setRequestHeader", "send",
// "readyState", "status", "statusText", "abort") and its text arguments.
struct HttpCall {
  std::wstring name;
  std::vector<std::wstring> args;
  friend bool operator==(const HttpCall&, const HttpCall&) = default;
};

// HTTP request objects that play a script. Every request follows `script` as it stands at each call:
// - readyState gives 0 until open, 1 from open until send, and after send the values of `readyStates`
//   one per read, the last one repeated (default {4});
// - status and statusText give `status` and `statusText` (default 200 "OK") in every state;
// - a call named in `failures` fails with that result (any state, any number of times); a failed call
//   changes nothing. Creation fails when `createFailure` is set (hr not 0).
// `onReadyState` runs before each readyState read (with the number of reads after send so far), so a
// test can move its clock or change the script while a request is in flight.
//
//   machine.http.script.readyStates = {1, 1, 3, 4};
//   machine.http.script.status = 404;
//   machine.http.script.statusText = L"Not Found";
//   machine.http.script.failures[L"send"] = {platform::kHrFail, L"XMLHTTP.send: Unspecified error"};
class FakeHttp : public IHttp {
 public:
  struct Script {
    std::vector<std::int32_t> readyStates{kReadyComplete};
    std::int32_t status = 200;
    std::wstring statusText = L"OK";
    std::map<std::wstring, HttpResult> failures;  // by call name
  };

  Script script;
  HttpResult createFailure;
  std::function<void(std::size_t readsAfterSend)> onReadyState;

  // Every call on every request in call order, creation first ("create" with the ProgID).
  const std::vector<HttpCall>& Calls() const noexcept { return calls_; }
  // The names of the calls only, in order.
  std::vector<std::wstring> CallNames() const;
  // The body of the last send; "" when nothing was sent.
  std::wstring LastBody() const;

  HttpResult CreateRequest(const std::wstring& progId, std::unique_ptr<IHttpRequest>& request) override;

 private:
  friend class FakeHttpRequest;
  void Record(HttpCall call) { calls_.push_back(std::move(call)); }
  std::vector<HttpCall> calls_;
};

}  // namespace platform
