#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Components.h"

namespace platform {

// Components by progId (any letter case). An unregistered or failed progId gives null.
//
//   comps.Register(L"WDLCustom.CCustom2", [] { return std::make_shared<MyFakeCustom>(); });
//   comps.Fail(L"qnCommon.CKeyedCollection");
class FakeComponents : public IComponents {
 public:
  using Factory = std::function<std::shared_ptr<IComponent>()>;
  void Register(const std::wstring& progId, Factory factory);
  // Create gives null for this progId even when it is registered.
  void Fail(const std::wstring& progId);
  // Every progId passed to Create, in call order.
  const std::vector<std::wstring>& Requests() const noexcept { return requests_; }

  std::shared_ptr<IComponent> Create(const std::wstring& progId) override;

 private:
  std::map<std::wstring, Factory> factories_;  // by folded progId
  std::map<std::wstring, bool> failed_;
  std::vector<std::wstring> requests_;
};

}  // namespace platform
