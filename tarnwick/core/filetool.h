#pragma once

// Static file helpers of the main program: copying into folders that may not
// exist yet, UTF-8 text files, and the quoting of single CSV fields.

#include <QString>

class FileTool {
public:
    // Copies src to dst, creating dst's folder. The copy goes to a temporary
    // file that replaces dst only once complete; a dst that is src itself is
    // left as it is and counts as success.
    static bool copyFile(const QString& src, const QString& dst);
    // Writes text as UTF-8 without byte-order mark. Without append the file is
    // replaced in one step. False when the file cannot be opened or not every
    // byte reached it.
    static bool writeFile(const QString& path, const QString& text, bool append);
    // Reads at most maxBytes bytes from the start or the end of the file,
    // decoded as UTF-8 up to the first zero byte; true when out is not empty
    // (and for maxBytes 0, which reads nothing).
    static bool readFile(const QString& path, qint64 maxBytes, bool fromStart, QString& out);
    static bool ensureDir(const QString& dir);
    static QString currentDir();

    // Doubles double quotes; wraps the field in double quotes when it holds a
    // double quote, a comma, a carriage return or a line feed.
    static QString escapeCsvField(const QString& s);
    // Export form: "'" + s + "'", then escapeCsvField; empty stays empty.
    static QString toCsvText(const QString& s);
    // Removes the single quotes of the export form.
    static QString fromCsvText(const QString& s);
};
