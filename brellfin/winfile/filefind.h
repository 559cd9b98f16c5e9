#pragma once

// Walks the entries of one folder ("folder/*.*" or "folder/*") or looks up one
// path, in the manner of MFC's CFileFind. "." and ".." are never listed;
// entries come sorted by name; a link is reported by its own attributes
// (a link to a folder is no folder).

#include "brellfin/winfile/winfile.h"

#include <QString>

#include <vector>

class CFileFind {
public:
    CFileFind() = default;
    CFileFind(const CFileFind&) = delete;
    CFileFind& operator=(const CFileFind&) = delete;

    // True when the pattern names something to walk; the first entry is
    // taken by the first FindNextFile.
    BOOL FindFile(const QString& pattern);
    // Moves to the next entry: nonzero while another entry follows this one,
    // 0 for the last (as MFC's loop "do { more = FindNextFile(); ... } while
    // (more)" expects). Call it only after a successful FindFile.
    BOOL FindNextFile();
    void Close();

    QString GetFilePath() const;
    QString GetFileName() const;
    DWORD GetAttributes() const;
    BOOL IsDirectory() const { return (GetAttributes() & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    BOOL IsHidden() const { return (GetAttributes() & FILE_ATTRIBUTE_HIDDEN) != 0; }
    BOOL IsReadOnly() const { return (GetAttributes() & FILE_ATTRIBUTE_READONLY) != 0; }
    BOOL IsSystem() const { return (GetAttributes() & FILE_ATTRIBUTE_SYSTEM) != 0; }
    BOOL IsTemporary() const { return (GetAttributes() & FILE_ATTRIBUTE_TEMPORARY) != 0; }
    // Never true: the listing leaves "." and ".." out.
    BOOL IsDots() const { return 0; }

private:
    struct Entry {
        QString path;
        QString name;
        DWORD attributes;
    };
    std::vector<Entry> m_entries;
    int m_current = -1;
};
