// The file and directory helpers: standard directories, creating and deleting
// trees, the user-directory variable and the clearing of saved runtime data.
//
// Nothing here follows a symbolic link while deleting: a link is removed
// itself, so a link inside a tree cannot lead the deletion out of it, and a
// link loop cannot keep it going.

#include "skerrow/skerrow.h"

#include "skerrow/directoryconstants.h"

#include "platform/fd/uniquefd.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

enum class Kind { Missing, LookupFailed, Directory, File, Other };

std::string errorText(int error)
{
    char buffer[256];
    return strerror_r(error, buffer, sizeof buffer);
}

// What stands at path, without following a final symbolic link. A link counts
// as a file: it is removed, never entered.
Kind lookUp(const std::string& path, int& error)
{
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        error = errno;
        // A path through a file does not exist either.
        return error == ENOENT || error == ENOTDIR ? Kind::Missing : Kind::LookupFailed;
    }
    if (S_ISDIR(st.st_mode))
        return Kind::Directory;
    if (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))
        return Kind::File;
    return Kind::Other;
}

bool isDirectory(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Opens a directory for listing, refusing a symbolic link put in its place.
DIR* openDirectory(const std::string& path)
{
    platform::UniqueFd fd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd)
        return nullptr;
    DIR* dir = fdopendir(fd.get());
    if (dir) {
        fd.release(); // the listing's now, closed by closedir
    } else {
        const int error = errno;
        fd.reset();
        errno = error;
    }
    return dir;
}

bool isDotEntry(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

bool equalsNoCase(const std::string& a, const char* b)
{
    return strcasecmp(a.c_str(), b) == 0;
}

void report(const char* format, const std::string& path, int error)
{
    std::fprintf(stderr, format, path.c_str(), errorText(error).c_str());
}

// Names in the storage folders that the clearing keeps.
bool isProtectedFile(const std::string& name)
{
    static const char* const kept[] = {
        "Vexa_HistoryAlarm.inf",      "Vexa_HistoryAlarm.inf.tmp", "VEXA_OPERATION_LOG.inf",
        "VEXA_OPERATION_LOG.inf.tmp", Skerrow::kInitValueFile1,    Skerrow::kInitValueFile2,
    };
    for (const char* k : kept) {
        if (equalsNoCase(name, k))
            return true;
    }
    return false;
}

bool isProtectedDirectory(const std::string& name)
{
    return equalsNoCase(name, Skerrow::kAlarmLog) || equalsNoCase(name, Skerrow::kOperationLog);
}

// Clears one storage folder: everything but the logs and the initial-value files.
int clearFolder(const std::string& folder)
{
    int error = 0;
    switch (lookUp(folder, error)) {
    case Kind::Missing: return 0;
    case Kind::LookupFailed: report(Skerrow::kClearStatFailed, folder, error); return -1;
    case Kind::File: return unlink(folder.c_str()) == 0 ? 0 : -1;
    case Kind::Other: return -1;
    case Kind::Directory: break;
    }

    DIR* dir = openDirectory(folder);
    if (!dir) {
        report(Skerrow::kClearOpenFailed, folder, errno);
        return -1;
    }
    int result = 0;
    while (dirent* entry = readdir(dir)) {
        if (isDotEntry(entry->d_name))
            continue;
        const std::string name = entry->d_name;
        const std::string path = folder + "/" + name;
        switch (lookUp(path, error)) {
        case Kind::Missing:
        case Kind::Other: break;
        case Kind::LookupFailed:
            report(Skerrow::kEntryStatError, name, error);
            result = -1;
            break;
        case Kind::File:
            if (!isProtectedFile(name) && unlink(path.c_str()) != 0) {
                report(Skerrow::kRemoveFileError, path, errno);
                result = -1;
            }
            break;
        case Kind::Directory:
            if (!isProtectedDirectory(name) && Vexa_DeleteDirectory(path.c_str()) != 0)
                result = -1;
            break;
        }
    }
    closedir(dir);
    return result;
}

// Removes folder/name if it is a file; a missing one is no failure.
int removeFileIfThere(const std::string& path, const char* removeFailedFormat)
{
    int error = 0;
    switch (lookUp(path, error)) {
    case Kind::LookupFailed: report(Skerrow::kEntryStatError, path, error); return -1;
    case Kind::File:
        if (unlink(path.c_str()) != 0) {
            report(removeFailedFormat, path, errno);
            return -1;
        }
        return 0;
    default: return 0;
    }
}

// Deletes one log of a storage folder: its ".inf" and ".inf.tmp" files and its directory.
int deleteLog(const std::string& folder, const char* log)
{
    const std::string base = folder + "/" + log;
    int result = 0;
    if (removeFileIfThere(base + ".inf", Skerrow::kRemoveInfFailed) != 0)
        result = -1;
    if (removeFileIfThere(base + ".inf.tmp", Skerrow::kRemoveInfFailed) != 0)
        result = -1;
    if (Vexa_DeleteDirectory(base.c_str()) != 0)
        result = -1;
    return result;
}

int deleteInitValues(const std::string& folder)
{
    int result = 0;
    for (const char* file : {Skerrow::kInitValueFile1, Skerrow::kInitValueFile2}) {
        if (removeFileIfThere(folder + "/" + file, Skerrow::kRemoveDatFailed) != 0)
            result = -1;
    }
    return result;
}

} // namespace

const char* Vexa_GetDirectory(unsigned type)
{
    switch (type) {
    case 0: return ".";
    case 1: return "./config";
    case 2: Vexa_CreateDirectory("./data"); return "./data";
    case 3: return "./project";
    case 6: Vexa_CreateDirectory("./export"); return "./export";
    case 8: Vexa_CreateDirectory(Skerrow::kUserDir); return Skerrow::kUserDir;
    case 9: Vexa_CreateDirectory("./data/history_storage"); return "./data/history_storage";
    default: return "";
    }
}

bool Vexa_CreateDirectory(const char* path)
{
    if (!path || !*path)
        return false;
    struct stat st;
    if (stat(path, &st) == 0)
        return S_ISDIR(st.st_mode);

    const std::string text = path;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!((text[i] == '/' && i != 0) || i + 1 == text.size()))
            continue;
        const std::string prefix = text.substr(0, i + 1);
        if (stat(prefix.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode))
                return false;
            continue;
        }
        // Another process may have made it in the meantime.
        if (mkdir(prefix.c_str(), 0777) != 0 && !(errno == EEXIST && isDirectory(prefix.c_str())))
            return false;
    }
    return true;
}

int Vexa_DeleteDirectory(const char* path)
{
    if (!path)
        return -1;
    const std::string root = path;
    int error = 0;
    switch (lookUp(root, error)) {
    case Kind::Missing: return 0;
    case Kind::LookupFailed: report(Skerrow::kStatError, root, error); return -1;
    case Kind::File: return unlink(root.c_str()) == 0 ? 0 : -1;
    case Kind::Other: return -1;
    case Kind::Directory: break;
    }

    // Breadth first: files go as they are found, directories afterwards from
    // the last scanned to the first, so children go before their parents.
    bool failed = false;
    std::deque<std::string> queue{root};
    std::vector<std::string> scanned;
    while (!queue.empty()) {
        const std::string directory = std::move(queue.front());
        queue.pop_front();
        DIR* dir = openDirectory(directory);
        if (!dir) {
            std::fprintf(stderr, Skerrow::kOpenDirFailed, directory.c_str(), errorText(errno).c_str());
            failed = true;
            continue;
        }
        while (dirent* entry = readdir(dir)) {
            if (isDotEntry(entry->d_name))
                continue;
            const std::string entryPath = directory + "/" + entry->d_name;
            switch (lookUp(entryPath, error)) {
            case Kind::Missing:
            case Kind::Other: break;
            case Kind::LookupFailed:
                report(Skerrow::kStatError, entryPath, error);
                failed = true;
                break;
            case Kind::File:
                if (unlink(entryPath.c_str()) != 0) {
                    report(Skerrow::kRemoveFailed, entryPath, errno);
                    failed = true;
                }
                break;
            case Kind::Directory: queue.push_back(entryPath); break;
            }
        }
        closedir(dir);
        scanned.push_back(directory);
    }

    for (auto it = scanned.rbegin(); it != scanned.rend(); ++it) {
        if (rmdir(it->c_str()) != 0) {
            report(Skerrow::kRemoveDirFailed, *it, errno);
            failed = true;
        }
    }
    return failed ? -1 : 0;
}

int Vexa_ConvertToAbsPath(std::string* path)
{
    if (!path)
        return 0;
    const std::size_t length = std::strlen(Skerrow::kUserDirVariable);
    if (path->size() < length || strncasecmp(path->c_str(), Skerrow::kUserDirVariable, length) != 0)
        return 0;
    if (path->size() > length && (*path)[length] != '/' && (*path)[length] != '\\')
        return 0;
    Vexa_CreateDirectory(Skerrow::kUserDir);
    path->replace(0, length, Skerrow::kUserDir);
    return 1;
}

int Vexa_DelSaveData(int flags, const char* dataDir)
{
    std::string base;
    if (!dataDir) {
        Vexa_CreateDirectory(Skerrow::kDefaultDataDir);
        base = Skerrow::kDefaultDataDir;
    } else if (!*dataDir) {
        // An empty base is the current directory; a bare "/" would be the root of the file system.
        base = ".";
    } else {
        base = dataDir;
    }
    if (base.back() != '/')
        base += '/';

    int result = 0;
    if ((flags & Skerrow::kClearRecipes) && Vexa_DeleteDirectory((base + Skerrow::kRecipeDir).c_str()) == -1)
        result |= Skerrow::kClearRecipes;

    const std::string storage = base + Skerrow::kStorageDir;
    const std::string backup = storage + Skerrow::kBackupSuffix;

    if (flags & Skerrow::kClearStorage) {
        const int storageResult = clearFolder(storage);
        const int backupResult = clearFolder(backup);
        if (storageResult == -1 || backupResult == -1)
            result |= Skerrow::kClearStorage;
    }
    if (flags & Skerrow::kClearLogs) {
        for (const std::string& folder : {storage, backup}) {
            // The operation log goes only when the alarm log went.
            if (deleteLog(folder, Skerrow::kAlarmLog) == -1 || deleteLog(folder, Skerrow::kOperationLog) == -1)
                result |= Skerrow::kClearLogs;
        }
    }
    if (flags & Skerrow::kClearInitValues) {
        const int storageResult = deleteInitValues(storage);
        const int backupResult = deleteInitValues(backup);
        if (storageResult == -1 || backupResult == -1)
            result |= Skerrow::kClearInitValues;
    }
    if ((flags & Skerrow::kClearUserFiles) && Vexa_DeleteDirectory((base + Skerrow::kUserDirName).c_str()) == -1)
        result |= Skerrow::kClearUserFiles;
    return result;
}
