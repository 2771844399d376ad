#include "tests/doubles/FakeHttp.h"

namespace platform {

class FakeHttpRequest final : public IHttpRequest {
 public:
  explicit FakeHttpRequest(FakeHttp& owner) : owner_(owner) {}

  HttpResult Open(const std::wstring& method, const std::wstring& url) override {
    return Call({L"open", {method, url}}, [&] { opened_ = true; });
  }
  HttpResult SetRequestHeader(const std::wstring& header, const std::wstring& value) override {
    return Call({L"setRequestHeader", {header, value}}, [] {});
  }
  HttpResult Send(const std::wstring& body) override {
    return Call({L"send", {body}}, [&] { sent_ = true; });
  }
  HttpResult ReadyState(std::int32_t& state) override {
    if (sent_ && owner_.onReadyState) owner_.onReadyState(reads_);
    return Call({L"readyState", {}}, [&] {
      if (!sent_) {
        state = opened_ ? kReadyLoading : kReadyUninitialized;
        return;
      }
      const auto& states = owner_.script.readyStates;
      state = states.empty() ? kReadyComplete : states[reads_ < states.size() ? reads_ : states.size() - 1];
      ++reads_;
    });
  }
  HttpResult Status(std::int32_t& status) override {
    return Call({L"status", {}}, [&] { status = owner_.script.status; });
  }
  HttpResult StatusText(std::wstring& text) override {
    return Call({L"statusText", {}}, [&] { text = owner_.script.statusText; });
  }
  HttpResult Abort() override { return Call({L"abort", {}}, [] {}); }

 private:
  template <class Effect>
  HttpResult Call(HttpCall call, Effect effect) {
    const std::wstring name = call.name;
    owner_.Record(std::move(call));
    auto failure = owner_.script.failures.find(name);
    if (failure != owner_.script.failures.end()) return failure->second;
    effect();
    return {};
  }

  FakeHttp& owner_;
  bool opened_ = false;
  bool sent_ = false;
  std::size_t reads_ = 0;
};

std::vector<std::wstring> FakeHttp::CallNames() const {
  std::vector<std::wstring> names;
  for (const HttpCall& call : calls_) names.push_back(call.name);
  return names;
}

std::wstring FakeHttp::LastBody() const {
  for (auto it = calls_.rbegin(); it != calls_.rend(); ++it) {
    if (it->name == L"send") return it->args.at(0);
  }
  return L"";
}

HttpResult FakeHttp::CreateRequest(const std::wstring& progId, std::unique_ptr<IHttpRequest>& request) {
  request.reset();
  Record({L"create", {progId}});
  if (createFailure.hr != 0) return createFailure;
  request = std::make_unique<FakeHttpRequest>(*this);
  return {};
}

}  // namespace platform
