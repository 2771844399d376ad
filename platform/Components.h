#pragma once
#include <cstdint>
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
  // The new object, or null when the library or the class cannot be had. A library that could not make
  // the object raises its failure here: std::bad_alloc when it had no memory for it, std::runtime_error
  // for any other.
  virtual std::shared_ptr<IComponent> Create(const std::wstring& progId) = 0;
};

// What a component library's create function returns.
enum ComponentResult : std::int32_t {
  kComponentCreated = 0,       // the new object is in the out parameter
  kComponentUnknownClass = 1,  // no class of that name (or no name): the out parameter is null
  kComponentOutOfMemory = 2,   // the class is known but no memory was left for the object: null
  kComponentFailed = 3,        // the class is known but making the object failed otherwise: null
};

// What a component library exports, by this name, for IComponents to call: the object of `className`
// into `object` (which is set to null first), and how that went. Nothing is thrown across it.
using CreateComponentFn = std::int32_t (*)(const wchar_t* className, IComponent** object);
constexpr const char kCreateComponentExport[] = "WdlCreateComponent";

}  // namespace platform
