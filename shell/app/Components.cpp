#include "shell/app/Components.h"

#include <memory>
#include <string>

#include "common/Error.h"
#include "custom/CustomComponent.h"
#include "platform/Platform.h"

namespace MWDL {

namespace {

std::wstring UpperCase(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return text;
}

std::wstring ComponentMessage(const std::wstring& library) {
  return L"Component '" + UpperCase(library) +
         L"' or one of its dependencies not correctly registered: a file is missing or invalid. Try to "
         L"reinstall Wardline.";
}

// Creates one object by name; a library or class that cannot be had counts as a failure like a null.
bool CanCreate(const wchar_t* progId) {
  try {
    std::shared_ptr<platform::IComponent> object = platform::Components().Create(progId);
    return object != nullptr;
  } catch (...) {
    // Any failure to create is the check's answer False, which the caller shows and logs.
    return false;
  }
}

}  // namespace

bool CheckComponents(std::wstring& message) {
  // Each test object is dropped at once; only whether it could be created matters.
  if (!CanCreate(kCommonTestProgId)) {
    message = ComponentMessage(L"qnCommon.dll");
    return false;
  }
  if (!CanCreate(kCustomTestProgId)) {
    message = ComponentMessage(L"WDLCustom.dll");
    return false;
  }
  return true;
}

}  // namespace MWDL
