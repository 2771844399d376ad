#include "inspection/FileManagers.h"

#include "common/Error.h"
#include "inspection/FileInfoManager.h"
#include "inspection/FilenameResolver.h"
#include "shell/MWDL.h"

namespace MWDL {

void ReInitFileManagers() {
  // No error handler: an unset object or a failing ReInit is the caller's error.
  Required(goFileInfoManager).ReInit();
  Required(goFilenameResolver).ReInit();
}

}  // namespace MWDL
