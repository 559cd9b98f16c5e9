#pragma once

// Windows profile (ini) files, read and written as GetPrivateProfileString and
// WritePrivateProfileString do: sections and keys compared without regard to
// case, blanks around names and values dropped, one pair of quotes around a
// value dropped; CR, LF and CRLF each end a line. A write changes only the line of its key (or adds one) and
// keeps every other line byte for byte; new lines end with CRLF and the file
// is replaced through a temporary file. Text is UTF-8 (a UTF-8 byte-order
// mark is skipped and kept).

#include <QByteArray>
#include <QString>

#include <optional>

class ProfileFile {
public:
    // The value of key in section of the file at path; defaultValue when the
    // file, the section or the key is missing.
    static QString readString(const QString& path, const QString& section, const QString& key,
                              const QString& defaultValue = QString());
    // Sets key in section to value, adding the section and the key when they
    // are missing. False when the file cannot be read or written.
    static bool writeString(const QString& path, const QString& section, const QString& key, const QString& value);

    // The pure parts, on the file's bytes.
    static std::optional<QString> findValue(const QByteArray& content, const QString& section, const QString& key);
    static QByteArray withValue(const QByteArray& content, const QString& section, const QString& key,
                                const QString& value);
};
