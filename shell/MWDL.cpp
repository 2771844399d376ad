#include "shell/MWDL.h"

#include <string>

#include "shell/Product.h"

namespace MWDL {

std::wstring VersionText() {
  return std::to_wstring(product::kVersionMajor) + L"." + std::to_wstring(product::kVersionMinor) + L"." +
         std::to_wstring(product::kVersionRevision);
}

}  // namespace MWDL
