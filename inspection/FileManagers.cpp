#include "inspection/FileManagers.h"

#include "common/Error.h"
#include "inspection/FileInfoManager.h"
#include "inspection/FilenameResolver.h"
#include "shell/MWDL.h"

namespace MWDL {

void ReInitFileManagers() {
  // No error handler: an unset object or a failing ReInit is the caller's error.
  if (!goFileInfoManager) throw CError(err::kObjectNotSet, L"Object variable or With block variable not set");
  goFileInfoManager->ReInit();
  if (!goFilenameResolver) throw CError(err::kObjectNotSet, L"Object variable or With block variable not set");
  goFilenameResolver->ReInit();
}

}  // namespace MWDL
