#pragma once
// QN_API marks what qnCommon.dll exports. The platform layer is built into qnCommon.dll, so that the
// program and its components share one set of platform services.
#if defined(_WIN32)
#  if defined(QNCOMMON_BUILD)
#    define QN_API __declspec(dllexport)
#  else
#    define QN_API __declspec(dllimport)
#  endif
#else
#  define QN_API
#endif
