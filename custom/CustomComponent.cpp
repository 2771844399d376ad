// WDLCustom.dll: the customisation component and its test class, created by name through
// WdlCreateComponent.
#include "custom/CustomComponent.h"

#include <cstdint>
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

extern "C" __declspec(dllexport) std::int32_t WdlCreateComponent(const wchar_t* className,
                                                                  platform::IComponent** object) {
  // The caller is plain Win32 code: nothing may be thrown back across it, a failure is the result. Class
  // names compare without regard to case, as names of registered classes do.
  if (object == nullptr) return platform::kComponentFailed;
  *object = nullptr;
  if (className == nullptr) return platform::kComponentUnknownClass;
  try {
    if (_wcsicmp(className, L"CCustom2") == 0) {
      *object = new CCustom2();
    } else if (_wcsicmp(className, L"CCustomComponent") == 0) {
      *object = new CCustomComponent();
    } else {
      return platform::kComponentUnknownClass;
    }
    return platform::kComponentCreated;
  } catch (const std::bad_alloc&) {
    return platform::kComponentOutOfMemory;
  }
}
