// Component objects created by name from component libraries ("Library.Class" from Library.dll).
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <utility>

#include "platform/PlatformInternal.h"

namespace platform {
namespace {

class Win32ComponentsImpl final : public IComponents {
 public:
  std::shared_ptr<IComponent> Create(const std::wstring& progId) override {
    const auto point = progId.find(L'.');
    if (point == std::wstring::npos || point == 0 || point + 1 >= progId.size()) return nullptr;
    const std::wstring library = progId.substr(0, point);
    const std::wstring className = progId.substr(point + 1);
    if (library.find_first_of(L"\\/:") != std::wstring::npos) return nullptr;  // a name, never a path

    HMODULE module = Load(library);
    if (module == nullptr) return nullptr;
    auto create = reinterpret_cast<CreateComponentFn>(
        reinterpret_cast<void*>(::GetProcAddress(module, kCreateComponentExport)));
    if (create == nullptr) return nullptr;
    IComponent* made = nullptr;
    const std::int32_t result = create(className.c_str(), &made);
    std::unique_ptr<IComponent> object(result == kComponentCreated ? made : nullptr);
    if (result == kComponentOutOfMemory) throw std::bad_alloc();
    if (result != kComponentCreated && result != kComponentUnknownClass) {
      throw std::runtime_error("the component library could not create its object");
    }
    return std::shared_ptr<IComponent>(std::move(object));  // null stays null
  }

 private:
  // The library from the program's folder first, then by the system's search. Libraries stay loaded
  // for the life of the program: their objects may outlive any one caller.
  HMODULE Load(const std::wstring& library) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = loaded_.find(library);
    if (it != loaded_.end()) return it->second;
    const std::wstring file = library + L".dll";
    HMODULE module = ::LoadLibraryW((detail::Win32Files().ProgramFolder() + L"\\" + file).c_str());
    if (module == nullptr) module = ::LoadLibraryW(file.c_str());
    if (module != nullptr) loaded_.emplace(library, module);
    return module;
  }

  std::mutex mutex_;
  std::map<std::wstring, HMODULE> loaded_;
};

}  // namespace

namespace detail {
IComponents& Win32Components() {
  static Win32ComponentsImpl components;
  return components;
}
}  // namespace detail

}  // namespace platform
