// The component factory of qnCommon.dll, so that a program can create the library's classes by name
// ("qnCommon.CKeyedCollection") as it creates those of any component library.
#include <cstdint>
#include <memory>
#include <new>
#include <string>

#include "common/KeyedCollection.h"
#include "platform/Components.h"
#include "platform/Export.h"

namespace {

// A keyed collection of texts, as a component object.
class CKeyedCollectionComponent final : public platform::IComponent {
 public:
  CKeyedCollection<std::wstring>& Collection() noexcept { return collection_; }

 private:
  CKeyedCollection<std::wstring> collection_;
};

}  // namespace

// Called across the library boundary by plain code: nothing is thrown back, a failure is the result.
extern "C" QN_API std::int32_t WdlCreateComponent(const wchar_t* className, platform::IComponent** object) {
  if (object == nullptr) return platform::kComponentFailed;
  *object = nullptr;
  if (className == nullptr) return platform::kComponentUnknownClass;
  try {
    if (qn::FoldKey(className) != L"ckeyedcollection") return platform::kComponentUnknownClass;
    *object = new CKeyedCollectionComponent();
    return platform::kComponentCreated;
  } catch (const std::bad_alloc&) {
    return platform::kComponentOutOfMemory;
  } catch (...) {
    return platform::kComponentFailed;
  }
}
