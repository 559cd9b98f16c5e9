#include "brellfin/winfile/filefind.h"

#include <QFile>

#include <algorithm>
#include <dirent.h>
#include <memory>

BOOL CFileFind::FindFile(const QString& pattern)
{
    Close();
    QString folder;
    if (pattern.endsWith(QLatin1String("/*.*")))
        folder = pattern.left(pattern.size() - 3);
    else if (pattern.endsWith(QLatin1String("/*")))
        folder = pattern.left(pattern.size() - 1);
    if (folder.isEmpty()) {
        // One path looked up by its own name.
        const DWORD attributes = GetFileAttributesW(pattern);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return 0;
        QString trimmed = pattern;
        while (trimmed.size() > 1 && trimmed.endsWith('/'))
            trimmed.chop(1);
        m_entries.push_back({trimmed, trimmed.mid(trimmed.lastIndexOf('/') + 1), attributes});
        return 1;
    }
    // folder ends with "/"; opening "link/" would follow a link, so the
    // folder itself must be one.
    const DWORD folderAttributes = GetFileAttributesW(folder);
    if (folderAttributes == INVALID_FILE_ATTRIBUTES || !(folderAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(QFile::encodeName(folder).constData()), ::closedir);
    if (!dir)
        return 0;
    while (const dirent* entry = ::readdir(dir.get())) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name == QLatin1String(".") || name == QLatin1String(".."))
            continue;
        const QString path = folder + name;
        const DWORD attributes = GetFileAttributesW(path);
        if (attributes != INVALID_FILE_ATTRIBUTES)
            m_entries.push_back({path, name, attributes});
    }
    std::sort(m_entries.begin(), m_entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return m_entries.empty() ? 0 : 1;
}

BOOL CFileFind::FindNextFile()
{
    if (m_current + 1 < int(m_entries.size()))
        ++m_current;
    return m_current + 1 < int(m_entries.size()) ? 1 : 0;
}

void CFileFind::Close()
{
    m_entries.clear();
    m_current = -1;
}

QString CFileFind::GetFilePath() const
{
    return m_current >= 0 ? m_entries[m_current].path : QString();
}

QString CFileFind::GetFileName() const
{
    return m_current >= 0 ? m_entries[m_current].name : QString();
}

DWORD CFileFind::GetAttributes() const
{
    return m_current >= 0 ? m_entries[m_current].attributes : 0;
}
