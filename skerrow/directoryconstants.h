#pragma once

// Names and diagnostic texts of the file and directory helpers.

namespace Skerrow {

// The user-directory variable and what it stands for.
constexpr const char* kUserDirVariable = "$VEXA_DIR_USER";
constexpr const char* kUserDir = "./data/user_dir";
constexpr const char* kDefaultDataDir = "./data";

// Under the data directory.
constexpr const char* kRecipeDir = "recipe";
constexpr const char* kStorageDir = "history_storage";
constexpr const char* kBackupSuffix = "_bak";
constexpr const char* kUserDirName = "user_dir";
constexpr const char* kAlarmLog = "Vexa_HistoryAlarm";
constexpr const char* kOperationLog = "VEXA_OPERATION_LOG";
constexpr const char* kInitValueFile1 = "InitValueFile1.dat";
constexpr const char* kInitValueFile2 = "InitValueFile2.dat";

// Vexa_DelSaveData flags; each is also the result bit of its failure.
constexpr int kClearRecipes = 1;
constexpr int kClearStorage = 2;
constexpr int kClearLogs = 4;
constexpr int kClearInitValues = 8;
constexpr int kClearUserFiles = 16;

// Diagnostics on standard error: the path, then the system's text for the error.
constexpr const char* kStatError = "stat %s error!%s\n";
constexpr const char* kOpenDirFailed = "open dir failed!%s %s\n";
constexpr const char* kRemoveFailed = "remove %s failed!%s\n";
constexpr const char* kRemoveDirFailed = "remove the dir %s failed!%s\n";
constexpr const char* kClearStatFailed = "dir stat :%s failed!%s\n";
constexpr const char* kClearOpenFailed = "open dir:%s failed:%s!\n";
constexpr const char* kEntryStatError = "stat %s error:%s!\n";
// Without a line end, as the runtime has always written it.
constexpr const char* kRemoveFileError = "remove the file:%s error:%s!";
constexpr const char* kRemoveInfFailed = "remove the inf file:%s failed!%s\n";
constexpr const char* kRemoveDatFailed = "remove the dat file:%s failed!%s\n";

} // namespace Skerrow
