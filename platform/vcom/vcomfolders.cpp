#include "platform/vcom/vcomfolders.h"

#include "platform/fd/uniquefd.h"
#include "platform/serial/serialportname.h"
#include "platform/vcom/pairconfig.h"
#include "platform/vcom/vcomconstants.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Vcom {

namespace {

std::string envOr(const char* name, const std::string& fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

std::string readLink(const std::string& path)
{
    char buf[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

} // namespace

std::string stateFolder()
{
    if (const char* dir = std::getenv(kStateDirVariable); dir && *dir)
        return dir;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state)
        return std::string(state) + "/tarnwick-vcom";
    return envOr("HOME", "/tmp") + "/.local/state/tarnwick-vcom";
}

bool ensureStateFolder()
{
    const std::string folder = stateFolder();
    // The parents of the default place may be missing on a fresh account.
    for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1))
        mkdir(folder.substr(0, slash).c_str(), 0700);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 022) == 0;
}

bool readSmallFile(const std::string& path, std::string* out)
{
    const platform::UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd)
        return false;
    std::string text;
    char buf[1024];
    ssize_t n = 0;
    while (text.size() < static_cast<size_t>(kConfigLimit) && (n = read(fd.get(), buf, sizeof buf)) > 0)
        text.append(buf, static_cast<size_t>(n));
    if (n < 0)
        return false;
    *out = text;
    return true;
}

std::set<int> busyPortNumbers(const PairConfig* pair)
{
    std::set<int> numbers;
    if (DIR* dir = opendir(Serial::comFolder().c_str())) {
        while (dirent* e = readdir(dir)) {
            if (const int n = Serial::comNumber(e->d_name); n > 0)
                numbers.insert(n);
        }
        closedir(dir);
    }
    // A UART that the kernel found has a type other than 0 (PORT_UNKNOWN).
    const std::string ttys = envOr(kTtyClassDirVariable, kDefaultTtyClassDir);
    if (DIR* dir = opendir(ttys.c_str())) {
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() < 5 || name.compare(0, 4, "ttyS") != 0)
                continue;
            char* end = nullptr;
            const long index = std::strtol(name.c_str() + 4, &end, 10);
            if (*end != '\0' || index < 0 || index > 998)
                continue;
            std::string type;
            if (readSmallFile(ttys + "/" + name + "/type", &type) && std::atoi(type.c_str()) != 0)
                numbers.insert(static_cast<int>(index) + 1);
        }
        closedir(dir);
    }
    if (pair) {
        for (const std::string& name : {pair->ownName(), pair->userName()}) {
            if (const int n = Serial::comNumber(name); n > 0)
                numbers.insert(n);
        }
    }
    return numbers;
}

bool isOurProcess(int pid)
{
    if (pid <= 1)
        return false;
    const std::string proc = "/proc/" + std::to_string(pid);
    std::string stat;
    if (!readSmallFile(proc + "/stat", &stat))
        return false;
    const size_t paren = stat.rfind(')');
    if (paren == std::string::npos || paren + 2 >= stat.size() || stat[paren + 2] == 'Z')
        return false;
    const std::string exe = readLink(proc + "/exe");
    return !exe.empty() && exe == readLink("/proc/self/exe");
}

} // namespace Vcom
