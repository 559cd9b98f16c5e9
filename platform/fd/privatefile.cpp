#include "platform/fd/privatefile.h"

#include "platform/fd/uniquefd.h"
#include "platform/fd/writeall.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool syncFolder(const std::string& folder)
{
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // A file system that cannot sync a folder (EINVAL) has nothing to sync.
    return fd && (::fsync(fd.get()) == 0 || errno == EINVAL);
}

} // namespace

bool writePrivateFile(const std::string& path, const void* bytes, std::size_t size)
{
    std::string temp = path + ".XXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd)
        return false;
    int error = 0;
    if (::fchmod(fd.get(), 0600) != 0 || !writeAll(fd.get(), bytes, size) || ::fsync(fd.get()) != 0)
        error = errno;
    // The close's own result counts: it may report a write that failed late.
    if (::close(fd.release()) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        errno = error;
        return false;
    }
    return syncFolder(folderOf(path));
}

} // namespace platform
