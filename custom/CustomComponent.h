#pragma once
#include <memory>

#include "platform/Components.h"

class CLogger;

// The customisation component "WDLCustom.CCustom2" of WDLCustom.dll. The start-up hands it the logger
// by reference; whatever the variable holds afterwards becomes the program's logger.
class ICustom2 : public platform::IComponent {
 public:
  virtual void Init(std::shared_ptr<CLogger>& logger) = 0;
};

// Names by which the start-up creates the component and its test class.
inline constexpr const wchar_t kCustomProgId[] = L"WDLCustom.CCustom2";
inline constexpr const wchar_t kCustomTestProgId[] = L"WDLCustom.CCustomComponent";
inline constexpr const wchar_t kCommonTestProgId[] = L"qnCommon.CKeyedCollection";
