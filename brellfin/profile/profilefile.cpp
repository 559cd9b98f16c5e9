#include "brellfin/profile/profilefile.h"

#include <QFile>
#include <QSaveFile>

#include <vector>

namespace {

const QByteArray kUtf8Bom("\xEF\xBB\xBF");
const QByteArray kLineEnd("\r\n");

// One line of the file: its bytes without the terminator, and the terminator
// as it stood ("\r\n", "\n", a lone "\r", or nothing for a last line
// without one). CR, LF and CRLF each end a line, as the Windows profile
// functions read them.
struct Line {
    QByteArray text;
    QByteArray end;
};

std::vector<Line> splitLines(const QByteArray& content)
{
    std::vector<Line> lines;
    int start = 0;
    while (start < content.size()) {
        int at = start;
        while (at < content.size() && content[at] != '\r' && content[at] != '\n')
            ++at;
        Line line;
        line.text = content.mid(start, at - start);
        if (at < content.size()) {
            const bool crlf = content[at] == '\r' && at + 1 < content.size() && content[at + 1] == '\n';
            line.end = content.mid(at, crlf ? 2 : 1);
        }
        start = at + line.end.size();
        lines.push_back(line);
    }
    return lines;
}

QByteArray trimBlanks(const QByteArray& text)
{
    int first = 0;
    int last = text.size();
    while (first < last && (text[first] == ' ' || text[first] == '\t'))
        ++first;
    while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t'))
        --last;
    return text.mid(first, last - first);
}

bool sameName(const QByteArray& name, const QString& wanted)
{
    return QString::fromUtf8(name).compare(wanted.trimmed(), Qt::CaseInsensitive) == 0;
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<QByteArray> sectionOf(const QByteArray& trimmed)
{
    if (!trimmed.startsWith('['))
        return std::nullopt;
    const int close = trimmed.indexOf(']');
    if (close < 0)
        return trimBlanks(trimmed.mid(1));
    return trimBlanks(trimmed.mid(1, close - 1));
}

// The key of a "key = value" line (comments and lines without '=' have none).
std::optional<QByteArray> keyOf(const QByteArray& trimmed)
{
    if (trimmed.startsWith(';'))
        return std::nullopt;
    const int equals = trimmed.indexOf('=');
    if (equals < 0)
        return std::nullopt;
    return trimBlanks(trimmed.left(equals));
}

QByteArray valueOf(const QByteArray& trimmed)
{
    QByteArray value = trimBlanks(trimmed.mid(trimmed.indexOf('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    return value;
}

QByteArray stripBom(const QByteArray& content)
{
    return content.startsWith(kUtf8Bom) ? content.mid(kUtf8Bom.size()) : content;
}

} // namespace

std::optional<QString> ProfileFile::findValue(const QByteArray& content, const QString& section, const QString& key)
{
    bool inSection = false;
    for (const Line& line : splitLines(stripBom(content))) {
        const QByteArray trimmed = trimBlanks(line.text);
        if (const auto name = sectionOf(trimmed)) {
            inSection = sameName(*name, section);
            continue;
        }
        if (!inSection)
            continue;
        const auto name = keyOf(trimmed);
        if (name && sameName(*name, key))
            return QString::fromUtf8(valueOf(trimmed));
    }
    return std::nullopt;
}

QByteArray ProfileFile::withValue(const QByteArray& content, const QString& section, const QString& key,
                                  const QString& value)
{
    const bool bom = content.startsWith(kUtf8Bom);
    std::vector<Line> lines = splitLines(stripBom(content));
    const QByteArray newLine = key.trimmed().toUtf8() + '=' + value.toUtf8();

    bool inSection = false;
    int sectionLine = -1;
    int lastContent = -1; // the section's last line that is not blank
    int keyLine = -1;
    for (int i = 0; i < int(lines.size()); ++i) {
        const QByteArray trimmed = trimBlanks(lines[i].text);
        if (const auto name = sectionOf(trimmed)) {
            if (sectionLine >= 0)
                break;
            inSection = sameName(*name, section);
            if (inSection)
                sectionLine = lastContent = i;
            continue;
        }
        if (!inSection)
            continue;
        if (!trimmed.isEmpty())
            lastContent = i;
        const auto name = keyOf(trimmed);
        if (name && sameName(*name, key)) {
            keyLine = i;
            break;
        }
    }

    if (keyLine >= 0) {
        lines[keyLine].text = newLine;
    } else if (sectionLine >= 0) {
        if (lines[lastContent].end.isEmpty())
            lines[lastContent].end = kLineEnd;
        lines.insert(lines.begin() + lastContent + 1, Line{newLine, kLineEnd});
    } else {
        if (!lines.empty() && lines.back().end.isEmpty())
            lines.back().end = kLineEnd;
        lines.push_back(Line{'[' + section.trimmed().toUtf8() + ']', kLineEnd});
        lines.push_back(Line{newLine, kLineEnd});
    }

    QByteArray out = bom ? kUtf8Bom : QByteArray();
    for (const Line& line : lines)
        out += line.text + line.end;
    return out;
}

QString ProfileFile::readString(const QString& path, const QString& section, const QString& key,
                                const QString& defaultValue)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return defaultValue;
    return findValue(file.readAll(), section, key).value_or(defaultValue);
}

bool ProfileFile::writeString(const QString& path, const QString& section, const QString& key, const QString& value)
{
    QByteArray content;
    QFile current(path);
    if (current.exists()) {
        if (!current.open(QIODevice::ReadOnly))
            return false;
        content = current.readAll();
        current.close();
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray out = withValue(content, section, key, value);
    if (file.write(out) != out.size()) {
        file.cancelWriting();
        return false;
    }
    // commit() misses a failed flush of the last buffered bytes.
    return file.flush() && file.commit();
}
