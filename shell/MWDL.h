#pragma once
#include <memory>
#include <string>

class CError;
class CLogger;
class CRegistry;
class CHashier;
class CFileInfoManager;
class CFilenameResolver;

// Program-wide objects and values. Only the start-up writes them; every subsystem reads them. The
// classes of the caches belong to the inspection, which sits above this module: here they are only
// named, so that the slots can live where every layer can reach them. MWDL's routines that need more
// than the slots live with what they need (shell/app/Components.h, inspection/FileManagers.h).
namespace MWDL {

extern std::shared_ptr<CLogger> goLogger;  // unset in /uninstall mode
extern std::shared_ptr<CRegistry> goRegistry;
extern std::shared_ptr<CHashier> goHashier;
extern std::shared_ptr<CFileInfoManager> goFileInfoManager;
extern std::shared_ptr<CFilenameResolver> goFilenameResolver;
extern std::wstring gsVersion;

// "2.0.24": major, minor and revision joined by points.
std::wstring VersionText();

// The program's one way to log: a line through goLogger, or nothing when there is none (in /uninstall
// mode, and before the start-up made it). `level` is kLogInfo, kLogTolerated or kLogError; `source` the
// class or window, a point and the procedure. The logger itself never throws (common/Logger.h).
void Log(long number, const std::wstring& message, int level, const std::wstring& source);
// An error as the error handlers log it: its number and description.
void LogError(const CError& error, int level, const std::wstring& source);

}  // namespace MWDL
