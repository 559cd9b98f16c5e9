#include "platform/instancelock/instancelock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace Platform {

namespace {

bool isKept(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_'
           || c == '.';
}

// mkdir -p with 0700 for the parts it makes.
bool makeFolder(const std::string& folder)
{
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    const std::string::size_type slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolder(folder.substr(0, slash)))
        return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace

std::string InstanceLock::fileNameFor(const std::string& name)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string file;
    for (unsigned char c : name) {
        if (isKept(c)) {
            file += static_cast<char>(c);
        } else {
            file += '%';
            file += kHex[c >> 4];
            file += kHex[c & 0x0F];
        }
    }
    // ".lock" also keeps "", "." and ".." from naming the folder itself.
    return file + ".lock";
}

InstanceLock::InstanceLock(const std::string& name, const std::string& fallbackFolder)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    m_folder = runtime && *runtime ? std::string(runtime) : fallbackFolder;
    while (m_folder.size() > 1 && m_folder.back() == '/')
        m_folder.pop_back();
    if (!m_folder.empty())
        m_path = m_folder + "/" + fileNameFor(name);
}

InstanceLock::~InstanceLock()
{
    release();
}

LockResult InstanceLock::acquire()
{
    if (m_fd)
        return LockResult::Acquired;
    if (m_path.empty()) {
        m_error = ENOENT;
        return LockResult::CannotOpen;
    }
    if (!makeFolder(m_folder)) {
        m_error = errno ? errno : ENOTDIR;
        return LockResult::CannotOpen;
    }
    platform::UniqueFd fd(::open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd) {
        m_error = errno;
        return LockResult::CannotOpen;
    }
    int result = 0;
    do {
        result = ::flock(fd.get(), LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        m_error = errno;
        return m_error == EWOULDBLOCK ? LockResult::HeldElsewhere : LockResult::CannotOpen;
    }
    m_fd = std::move(fd);
    m_error = 0;
    return LockResult::Acquired;
}

void InstanceLock::release()
{
    if (!m_fd)
        return;
    ::flock(m_fd.get(), LOCK_UN);
    m_fd.reset();
}

} // namespace Platform
