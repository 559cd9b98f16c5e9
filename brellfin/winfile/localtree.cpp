#include "brellfin/winfile/localtree.h"

#include "brellfin/winfile/filefind.h"
#include "brellfin/winfile/winfile.h"

#include <QFileInfo>

namespace LocalTree {

namespace {

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return path;
}

// The real path of path: that of its parent joined with its own name, so a
// path that does not exist yet has one too. Empty when the parent has none.
QString realPath(const QString& path)
{
    const QString trimmed = withoutTrailingSlash(path);
    const QFileInfo info(trimmed);
    if (info.exists())
        return info.canonicalFilePath();
    const QString parent = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (parent.isEmpty())
        return QString();
    return parent == QLatin1String("/") ? parent + info.fileName() : parent + '/' + info.fileName();
}

} // namespace

bool isInsideFolder(const QString& path, const QString& folder)
{
    const QString real = realPath(path);
    const QString realFolder = realPath(folder);
    if (real.isEmpty() || realFolder.isEmpty())
        return false;
    if (real == realFolder || realFolder == QLatin1String("/"))
        return true;
    return real.startsWith(realFolder + '/');
}

int copyLocalTree(const QString& src, const QString& dst)
{
    if (src.isEmpty() || dst.isEmpty())
        return 0;
    const DWORD attributes = GetFileAttributesW(src);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    if (isInsideFolder(dst, src))
        return 0;
    if (!PathFileExistsW(dst))
        CreateDirectoryW(dst);
    const QString from = withoutTrailingSlash(src);
    const QString to = withoutTrailingSlash(dst);
    CFileFind find;
    BOOL more = find.FindFile(from + "/*.*");
    while (more) {
        more = find.FindNextFile();
        const QString target = to + '/' + find.GetFileName();
        if (find.IsDirectory())
            copyLocalTree(find.GetFilePath(), target);
        else
            CopyFileW(find.GetFilePath(), target, 0);
    }
    return 1;
}

int deleteLocalTree(const QString& path)
{
    const DWORD attributes = GetFileAttributesW(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    CFileFind find;
    BOOL more = find.FindFile(withoutTrailingSlash(path) + "/*.*");
    while (more) {
        more = find.FindNextFile();
        const QString entry = find.GetFilePath();
        SetFileAttributesW(entry, FILE_ATTRIBUTE_NORMAL);
        if (find.IsDirectory()) {
            if (!deleteLocalTree(entry))
                return 0;
        } else if (!DeleteFileW(entry)) {
            return 0;
        }
    }
    return RemoveDirectoryW(path) ? 1 : 0;
}

void collectLocalFiles(const QString& folder, QStringList& files)
{
    constexpr DWORD skippedFolder = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM
                                    | FILE_ATTRIBUTE_TEMPORARY;
    CFileFind find;
    BOOL more = find.FindFile(withoutTrailingSlash(folder) + "/*.*");
    while (more) {
        more = find.FindNextFile();
        const DWORD attributes = find.GetAttributes();
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!(attributes & skippedFolder))
                collectLocalFiles(find.GetFilePath(), files);
        } else if (!(attributes & FILE_ATTRIBUTE_SYSTEM)) {
            files << find.GetFilePath();
        }
    }
}

} // namespace LocalTree
