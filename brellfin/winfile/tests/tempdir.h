#pragma once

// A temporary folder made with mkdtemp and removed with all it holds (links
// removed, never followed).

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdlib>
#include <fcntl.h>
#include <ftw.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/brellfin-winfile-XXXXXX";
        if (::mkdtemp(pattern))
            m_path = QString::fromLocal8Bit(pattern);
    }
    ~TempDir()
    {
        if (m_path.isEmpty())
            return;
        const QByteArray root = QFile::encodeName(m_path);
        ::nftw(
            root.constData(),
            [](const char* path, const struct stat* info, int, FTW*) {
                if (S_ISDIR(info->st_mode))
                    ::chmod(path, 0700);
                return 0;
            },
            16, FTW_PHYS);
        ::nftw(
            root.constData(),
            [](const char* path, const struct stat*, int type, FTW*) {
                return type == FTW_DP ? ::rmdir(path) : ::unlink(path);
            },
            16, FTW_PHYS | FTW_DEPTH);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    bool valid() const { return !m_path.isEmpty(); }
    QString path() const { return m_path; }
    QString operator/(const QString& name) const { return m_path + '/' + name; }

    static bool write(const QString& path, const QByteArray& bytes)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    static bool link(const QString& target, const QString& path)
    {
        return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) == 0;
    }
    static QString linkTarget(const QString& path)
    {
        char buffer[4096];
        const ssize_t length = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer - 1);
        return length < 0 ? QString() : QFile::decodeName(QByteArray(buffer, int(length)));
    }
    static bool isLink(const QString& path)
    {
        struct stat info;
        return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISLNK(info.st_mode);
    }
    static bool fifo(const QString& path) { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; }
    static bool mkdir(const QString& path) { return ::mkdir(QFile::encodeName(path).constData(), 0700) == 0; }
    static bool chmod(const QString& path, mode_t mode)
    {
        return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
    }

private:
    QString m_path;
};
