// The component factory of qnCommon.dll, so that a program can create the library's classes by name
// ("qnCommon.CKeyedCollection") as it creates those of any component library.
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

// Called across the library boundary by plain code: nothing is thrown back. Null for unknown classes.
extern "C" QN_API platform::IComponent* WdlCreateComponent(const wchar_t* className) {
  if (className == nullptr) return nullptr;
  try {
    if (qn::FoldKey(className) == L"ckeyedcollection") return new CKeyedCollectionComponent();
  } catch (...) {
  }
  return nullptr;
}
