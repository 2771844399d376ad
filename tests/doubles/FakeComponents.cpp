#include "tests/doubles/FakeComponents.h"

#include "platform/KeyFold.h"

namespace platform {

void FakeComponents::Register(const std::wstring& progId, Factory factory) {
  const std::wstring key = platform::FoldKey(progId);
  factories_[key] = std::move(factory);
  failed_.erase(key);
}

void FakeComponents::Fail(const std::wstring& progId) { failed_[platform::FoldKey(progId)] = true; }

std::shared_ptr<IComponent> FakeComponents::Create(const std::wstring& progId) {
  requests_.push_back(progId);
  const std::wstring key = platform::FoldKey(progId);
  if (failed_.count(key) != 0) return nullptr;
  auto it = factories_.find(key);
  if (it == factories_.end() || !it->second) return nullptr;
  return it->second();
}

}  // namespace platform
