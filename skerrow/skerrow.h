#pragma once

// The flat interface of the Skerrow library: plain, undecorated exported names.
//
// Several functions take standard-library objects through pointers, so the
// caller and the library must be built with the same standard library.

#include "skerrow/delaytimebase.h"
#include "skerrow/ipathchecker.h"
#include "skerrow/skerrowexport.h"

#include <string>
#include <vector>

extern "C" {

// Time and host.
// Milliseconds of the monotonic clock; never goes back.
SKERROW_EXPORT unsigned long long Vexa_GetTickCount(void);
// Sleeps the given time (resuming after signals); 0 when it passed, -1 for
// a time of 0 or less and for any other failure.
SKERROW_EXPORT int Vexa_Sleep(long long milliseconds);
// Wall-clock time: seconds since 1970-01-01 and the milliseconds of that second.
SKERROW_EXPORT void Vexa_GetTime(int* seconds, int* milliseconds);
// Plays a tone on the console speaker; non-zero when it was played, 0 when
// the system does not let us (no pretended success).
SKERROW_EXPORT int Vexa_Beep(int frequency, int duration);
// True when epsilon is strictly greater than |a - b|.
SKERROW_EXPORT bool Vexa_IsEqual(long double a, long double b, long double epsilon);

// Fixed answers on this platform; every argument is ignored.
SKERROW_EXPORT int Vexa_GetPlatform_Arch(...);
SKERROW_EXPORT int Vexa_IsDataDiskEnough(...);
SKERROW_EXPORT long long Vexa_GetFreeDiskSize(...);
SKERROW_EXPORT int Vexa_Check_Mount_Path(...);
SKERROW_EXPORT int Vexa_udisk_rename(...);
SKERROW_EXPORT int Vexa_udisk_mkpath(...);
SKERROW_EXPORT int Vexa_udisk_open(...);

// Paths.
// Normalises *path in place (separators become one '/', names are cleaned),
// consulting checker when it is not null; a failed check leaves *path as it
// was and the reason in the checker.
SKERROW_EXPORT void Vexa_HandleFilePath(std::string* path, FF::COMMON::IPathChecker* checker);
// Vexa_HandleFilePath with a fresh FilePathChecker: 0 when the path passed
// (and is normalised), -1 when a check failed (and it is unchanged).
SKERROW_EXPORT int Vexa_GetFilePath(std::string* path);

// CSV: splits *line into *fields; -1 for an empty line, 0 otherwise.
SKERROW_EXPORT int SplitCsvStr(const std::string* line, std::vector<std::string>* fields, char separator);

// Delay objects.
SKERROW_EXPORT DelayTimeBase* CreateDelayTimeObj(void);
// Wakes the object's waiters, waits for them to leave and frees it; null is ignored.
SKERROW_EXPORT void DeleteDelayTimeObj(DelayTimeBase* obj);

// Files and directories; every path is relative to the current directory
// unless given absolute. Diagnostics go to standard error.
// One of the runtime's standard directories by type; never null.
SKERROW_EXPORT const char* Vexa_GetDirectory(unsigned type);
// True when path is (now) a directory; creates every missing level.
SKERROW_EXPORT bool Vexa_CreateDirectory(const char* path);
// Removes a file or a whole tree without following symbolic links; 0 when
// everything was removed or nothing existed, -1 otherwise.
SKERROW_EXPORT int Vexa_DeleteDirectory(const char* path);
// Rewrites a leading "$VEXA_DIR_USER" (any case) to "./data/user_dir": 1 when rewritten, 0 otherwise.
SKERROW_EXPORT int Vexa_ConvertToAbsPath(std::string* path);
// Clears the saved runtime data selected by flags under dataDir (or "./data");
// returns the mask of the parts that failed.
SKERROW_EXPORT int Vexa_DelSaveData(int flags, const char* dataDir);

} // extern "C"
