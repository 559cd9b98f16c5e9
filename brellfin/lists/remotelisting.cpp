#include "brellfin/lists/remotelisting.h"

#include "brellfin/lists/remotetree.h"
#include "brellfin/service/fileserviceclient.h"

#include <ctime>

namespace RemoteListing {

namespace {

// The leading decimal number of text, as _wtoi reads it (0 for none).
qint64 leadingNumber(const QString& text)
{
    int i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    qint64 value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value < (qint64(1) << 58); ++i)
        value = value * 10 + (text[i].unicode() - '0');
    return negative ? -value : value;
}

// "2019/01/05 10:00:00" as 201901051000; the seconds are not looked at.
qint64 minuteKey(const QString& text)
{
    const auto field = [&](int from, int length) { return leadingNumber(text.mid(from, length)); };
    return field(0, 4) * 100000000 + field(5, 2) * 1000000 + field(8, 2) * 10000 + field(11, 2) * 100 + field(14, 2);
}

int sign(qint64 a, qint64 b)
{
    return a < b ? -1 : (a > b ? 1 : 0);
}

} // namespace

QString sizeText(std::uint64_t bytes)
{
    const std::uint64_t kilobytes = bytes == 0 ? 0 : bytes / 1024 + 1;
    return QString::number(qulonglong(kilobytes)) + QStringLiteral(" KB");
}

QString timeText(std::int64_t seconds)
{
    if (seconds == -1)
        return QString();
    const std::time_t time = std::time_t(seconds);
    std::tm local{};
    if (!localtime_r(&time, &local))
        return QString();
    char buffer[100] = {};
    if (std::strftime(buffer, sizeof buffer, "%Y/%m/%d %H:%M:%S", &local) == 0)
        return QString();
    return QString::fromLatin1(buffer);
}

std::optional<std::vector<RemoteEntry>> list(FileServiceClient& fs, const std::string& folder)
{
    std::vector<RemoteEntry> entries;
    std::vector<std::string> names;
    if (!fs.searchFolders(folder, names))
        return std::nullopt;
    for (const std::string& name : names) {
        if (!RemoteTree::isPlainName(name))
            continue;
        RemoteEntry entry;
        entry.name = name;
        entry.isFolder = true;
        entry.timeText = timeText(fs.getFileModifyTime(folder + "/" + name));
        entries.push_back(std::move(entry));
    }
    names.clear();
    if (!fs.searchFiles(folder, names))
        return std::nullopt;
    for (const std::string& name : names) {
        if (!RemoteTree::isPlainName(name))
            continue;
        RemoteEntry entry;
        entry.name = name;
        if (const std::optional<std::uint64_t> bytes = fs.fileSize(folder + "/" + name))
            entry.sizeText = sizeText(*bytes);
        entry.timeText = timeText(fs.getFileModifyTime(folder + "/" + name));
        entries.push_back(std::move(entry));
    }
    return entries;
}

int compareItems(int column, const QString& a, const QString& b, bool ascending)
{
    int result = 0;
    switch (column) {
    case 0:
    case 2:
        result = QString::compare(a, b, Qt::CaseInsensitive);
        result = result < 0 ? -1 : (result > 0 ? 1 : 0);
        break;
    case 1: result = sign(leadingNumber(a), leadingNumber(b)); break;
    case 3: result = sign(minuteKey(a), minuteKey(b)); break;
    default: return 0;
    }
    return ascending ? result : -result;
}

} // namespace RemoteListing
