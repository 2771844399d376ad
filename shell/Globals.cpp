// Program-wide objects and flags (MWDL and MAPI), written only by the start-up.
#include "common/Logger.h"
#include "common/Registry.h"
#include "shell/MAPI.h"
#include "shell/MWDL.h"

namespace MWDL {
std::shared_ptr<CLogger> goLogger;
std::shared_ptr<CRegistry> goRegistry;
std::shared_ptr<CHashier> goHashier;
std::shared_ptr<CFileInfoManager> goFileInfoManager;
std::shared_ptr<CFilenameResolver> goFilenameResolver;
std::wstring gsVersion;
}  // namespace MWDL

namespace MAPI {
bool gbIsNT = false;
bool gbIsNT4 = false;
}  // namespace MAPI
