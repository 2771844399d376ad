#pragma once
#include <memory>
#include <string>

class CLogger;
class CRegistry;
class CHashier;
class CFileInfoManager;
class CFilenameResolver;

// Program-wide objects and values. Only the start-up writes them.
namespace MWDL {

extern std::shared_ptr<CLogger> goLogger;  // unset in /uninstall mode
extern std::shared_ptr<CRegistry> goRegistry;
extern std::shared_ptr<CHashier> goHashier;
extern std::shared_ptr<CFileInfoManager> goFileInfoManager;
extern std::shared_ptr<CFilenameResolver> goFilenameResolver;
extern std::wstring gsVersion;

// "2.0.24": major, minor and revision joined by points.
std::wstring VersionText();
// True when an object of qnCommon.dll and of WDLCustom.dll can be created; otherwise false with the
// message for the user in `message`.
bool CheckComponents(std::wstring& message);
// Empties the file-information cache and the resolver's cache (not the checksum cache).
void ReInitFileManagers();

}  // namespace MWDL
