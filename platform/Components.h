#pragma once
#include <memory>
#include <string>

namespace platform {

// Base of every object created by name from a component library.
class IComponent {
 public:
  virtual ~IComponent() = default;
};

// Creates objects by name ("WDLCustom.CCustom2") from component libraries ("WDLCustom.dll"). The
// library name is the part before the point, with ".dll".
class IComponents {
 public:
  virtual ~IComponents() = default;
  // The new object, or null when the library or the class cannot be had.
  virtual std::shared_ptr<IComponent> Create(const std::wstring& progId) = 0;
};

// What a component library exports, by this name, for IComponents to call.
using CreateComponentFn = IComponent* (*)(const wchar_t* className);
constexpr const char kCreateComponentExport[] = "WdlCreateComponent";

}  // namespace platform
