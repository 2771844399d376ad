// WDLCustom.dll: the customisation component and its test class, created by name through
// WdlCreateComponent.
#include "custom/CustomComponent.h"

#include <cwchar>
#include <memory>
#include <new>

#include "common/Logger.h"

namespace {

// "CCustom2": keeps the logger it is handed and hands it back unchanged.
class CCustom2 final : public ICustom2 {
 public:
  void Init(std::shared_ptr<CLogger>& logger) override {
    // The program goes on with whatever the variable holds, so it must hold a usable logger.
    if (!logger) logger = std::make_shared<CLogger>();
    logger_ = logger;
  }

 private:
  std::shared_ptr<CLogger> logger_;
};

// "CCustomComponent": the test class by which the start-up checks that this library can be used.
class CCustomComponent final : public platform::IComponent {};

}  // namespace

extern "C" __declspec(dllexport) platform::IComponent* WdlCreateComponent(const wchar_t* className) {
  // The caller is plain Win32 code: nothing may be thrown back across it. Class names compare without
  // regard to case, as names of registered classes do.
  if (className == nullptr) return nullptr;
  try {
    if (_wcsicmp(className, L"CCustom2") == 0) return new CCustom2();
    if (_wcsicmp(className, L"CCustomComponent") == 0) return new CCustomComponent();
  } catch (const std::bad_alloc&) {
  }
  return nullptr;
}
