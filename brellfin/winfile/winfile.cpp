#include "brellfin/winfile/winfile.h"

#include "platform/fd/uniquefd.h"
#include "platform/fd/writeall.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Trailing "/" left out: "link/" would make every call follow the link.
QByteArray native(const QString& path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith('/'))
        trimmed.chop(1);
    return QFile::encodeName(trimmed);
}

// The last component of path, trailing "/" left out.
QString baseName(const QString& path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith('/'))
        trimmed.chop(1);
    return trimmed.mid(trimmed.lastIndexOf('/') + 1);
}

bool copyLink(const QByteArray& from, const QByteArray& to, bool failIfExists)
{
    QByteArray target(PATH_MAX, '\0');
    const ssize_t length = ::readlink(from.constData(), target.data(), target.size());
    if (length < 0 || length >= target.size())
        return false;
    target.truncate(length);
    if (::symlink(target.constData(), to.constData()) == 0)
        return true;
    if (errno != EEXIST || failIfExists)
        return false;
    // Replace a file or link, never a folder: make the link beside it, then
    // rename it over the old entry in one step.
    struct stat existing;
    if (::lstat(to.constData(), &existing) != 0 || S_ISDIR(existing.st_mode))
        return false;
    const QByteArray temporary = to + ".brellfin-link-" + QByteArray::number(::getpid());
    if (::symlink(target.constData(), temporary.constData()) != 0)
        return false;
    if (::rename(temporary.constData(), to.constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

bool copyRegular(const QByteArray& from, const QByteArray& to, bool failIfExists)
{
    // O_NONBLOCK: a FIFO put in the file's place after the check must not
    // block the open; fstat below refuses it.
    const platform::UniqueFd source(::open(from.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (source.get() < 0)
        return false;
    struct stat info;
    if (::fstat(source.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    const int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | (failIfExists ? O_EXCL : 0);
    const mode_t mode = info.st_mode & 07777;
    platform::UniqueFd target(::open(to.constData(), flags | O_NONBLOCK, mode | S_IWUSR));
    if (target.get() < 0)
        return false;
    struct stat targetInfo;
    if (::fstat(target.get(), &targetInfo) != 0 || !S_ISREG(targetInfo.st_mode)
        || (targetInfo.st_dev == info.st_dev && targetInfo.st_ino == info.st_ino))
        return false;
    // Truncated only now: a copy onto the source itself must not empty it.
    if (::ftruncate(target.get(), 0) != 0)
        return false;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t got = ::read(source.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        if (!platform::writeAll(target.get(), buffer, static_cast<size_t>(got))) {
            ok = false;
            break;
        }
    }
    ok = ok && ::fchmod(target.get(), mode) == 0;
    // Closed by hand: its result tells whether the last write-back worked.
    ok = ::close(target.release()) == 0 && ok;
    if (!ok)
        ::unlink(to.constData());
    return ok;
}

} // namespace

DWORD GetFileAttributesW(const QString& path)
{
    const QByteArray name = native(path);
    struct stat info;
    if (path.isEmpty() || ::lstat(name.constData(), &info) != 0)
        return INVALID_FILE_ATTRIBUTES;
    DWORD attributes = 0;
    if (baseName(path).startsWith('.'))
        attributes |= FILE_ATTRIBUTE_HIDDEN;
    mode_t mode = info.st_mode;
    if (S_ISLNK(mode)) {
        struct stat target;
        if (::stat(name.constData(), &target) == 0 && S_ISREG(target.st_mode))
            mode = target.st_mode;
        else
            return attributes | FILE_ATTRIBUTE_SYSTEM;
    }
    if (S_ISDIR(mode))
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    else if (S_ISREG(mode)) {
        if ((mode & S_IWUSR) == 0)
            attributes |= FILE_ATTRIBUTE_READONLY;
    } else {
        attributes |= FILE_ATTRIBUTE_SYSTEM;
    }
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

BOOL SetFileAttributesW(const QString& path, DWORD attributes)
{
    const QByteArray name = native(path);
    struct stat info;
    if (path.isEmpty() || ::lstat(name.constData(), &info) != 0)
        return 0;
    if (!S_ISREG(info.st_mode))
        return 1;
    mode_t mode = info.st_mode & 07777;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        mode &= ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH);
    else
        mode |= S_IWUSR;
    return ::chmod(name.constData(), mode) == 0;
}

BOOL PathFileExistsW(const QString& path)
{
    struct stat info;
    return !path.isEmpty() && ::lstat(native(path).constData(), &info) == 0;
}

BOOL CreateDirectoryW(const QString& path)
{
    return !path.isEmpty() && ::mkdir(native(path).constData(), 0777) == 0;
}

BOOL CopyFileW(const QString& from, const QString& to, BOOL failIfExists)
{
    if (from.isEmpty() || to.isEmpty())
        return 0;
    const QByteArray source = native(from);
    const QByteArray target = native(to);
    struct stat info;
    if (::lstat(source.constData(), &info) != 0)
        return 0;
    if (S_ISLNK(info.st_mode))
        return copyLink(source, target, failIfExists != 0);
    if (S_ISREG(info.st_mode))
        return copyRegular(source, target, failIfExists != 0);
    return 0;
}

BOOL DeleteFileW(const QString& path)
{
    return !path.isEmpty() && ::unlink(native(path).constData()) == 0;
}

BOOL RemoveDirectoryW(const QString& path)
{
    if (path.isEmpty())
        return 0;
    const QByteArray name = native(path);
    struct stat info;
    if (::lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return 0;
    return ::rmdir(name.constData()) == 0;
}

namespace {

std::function<void(const QString&, const QString&)>& beforeRename()
{
    static std::function<void(const QString&, const QString&)> hook;
    return hook;
}

} // namespace

void setBeforeRenameForTesting(std::function<void(const QString& oldPath, const QString& newPath)> hook)
{
    beforeRename() = std::move(hook);
}

int _wrename(const QString& oldPath, const QString& newPath)
{
    if (oldPath.isEmpty() || newPath.isEmpty())
        return -1;
    if (const auto& hook = beforeRename())
        hook(oldPath, newPath);
    return ::renameat2(AT_FDCWD, native(oldPath).constData(), AT_FDCWD, native(newPath).constData(), RENAME_NOREPLACE)
                   == 0
               ? 0
               : -1;
}
