#include "platform/serial/serialportname.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace Serial {

namespace {

bool isPrivateFolder(const std::string& folder)
{
    struct stat st {};
    if (lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

int comNumber(const std::string& name)
{
    if (name.size() < 4)
        return 0;
    for (int i = 0; i < 3; ++i) {
        if ((name[i] | 0x20) != "com"[i])
            return 0;
    }
    long long n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return 0;
        n = n * 10 + (name[i] - '0');
        if (n > INT_MAX)
            return 0;
    }
    return static_cast<int>(n);
}

std::string comFolder()
{
    if (const char* dir = std::getenv(kComDirVariable); dir && *dir)
        return dir;
    if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run)
        return std::string(run) + "/tarnwick-com";
    const std::string userRun = "/run/user/" + std::to_string(geteuid());
    if (isPrivateFolder(userRun))
        return userRun + "/tarnwick-com";
    return "/tmp/tarnwick-com-" + std::to_string(geteuid());
}

bool ensureComFolder()
{
    const std::string folder = comFolder();
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    return isPrivateFolder(folder);
}

std::string devicePath(const std::string& name)
{
    const int n = comNumber(name);
    if (n <= 0)
        return {};
    const std::string folder = comFolder();
    if (isPrivateFolder(folder)) {
        const std::string entry = folder + "/COM" + std::to_string(n);
        struct stat st {};
        if (lstat(entry.c_str(), &st) == 0)
            return entry;
    }
    return "/dev/ttyS" + std::to_string(n - 1);
}

} // namespace Serial
