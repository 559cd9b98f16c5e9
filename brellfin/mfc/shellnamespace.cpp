#include "brellfin/mfc/shellnamespace.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTextStream>

#include <algorithm>

namespace Mfc {

namespace {

std::function<QString(ShellText)> g_textProvider;
std::function<ShellLanguage()> g_languageProvider;

// The shell's own names, English and Chinese.
struct ShellName {
    const char* english;
    const char* chinese;
};
constexpr ShellName kComputerName{"Computer", "计算机"};
constexpr ShellName kSystemFolderType{"System Folder", "系统文件夹"};
constexpr ShellName kFolderType{"File folder", "文件夹"};
constexpr ShellName kLocalDiskType{"Local Disk", "本地磁盘"};
constexpr ShellName kFileType{"File", "文件"};

QString nameOf(const ShellName& name)
{
    return QString::fromUtf8(ShellNamespace::language() == ShellLanguage::Chinese ? name.chinese : name.english);
}

QString clean(const QString& path)
{
    QString cleaned = QDir::cleanPath(path);
    return cleaned.isEmpty() ? QStringLiteral("/") : cleaned;
}

bool isVolumeRoot(const QString& path)
{
    const auto roots = ShellNamespace::volumes();
    return std::find(roots.begin(), roots.end(), clean(path)) != roots.end();
}

// /proc/mounts escapes blanks and a few more characters as octal.
QString unescapeMount(const QString& field)
{
    QString out;
    for (int i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            bool ok = false;
            const int code = field.mid(i + 1, 3).toInt(&ok, 8);
            if (ok) {
                out += QChar(code);
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

} // namespace

void ShellNamespace::setTextProvider(std::function<QString(ShellText)> provider)
{
    g_textProvider = std::move(provider);
}

QString ShellNamespace::text(ShellText which)
{
    if (g_textProvider) {
        const QString value = g_textProvider(which);
        if (!value.isEmpty())
            return value;
    }
    switch (which) {
    case ShellText::Desktop: return QStringLiteral("Desktop");
    case ShellText::Shortcut: return QStringLiteral("Shortcut");
    }
    return QString();
}

void ShellNamespace::setLanguageProvider(std::function<ShellLanguage()> provider)
{
    g_languageProvider = std::move(provider);
}

ShellLanguage ShellNamespace::language()
{
    return g_languageProvider ? g_languageProvider() : ShellLanguage::English;
}

QString ShellNamespace::fileTypeText(const QString& suffix)
{
    if (suffix.isEmpty())
        return nameOf(kFileType);
    return suffix.toUpper() + QLatin1Char(' ') + nameOf(kFileType);
}

QString ShellNamespace::desktopPath()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (!desktop.isEmpty() && QFileInfo(desktop).isDir())
        return clean(desktop);
    return clean(QDir::homePath());
}

ShellLocation ShellNamespace::folder(const QString& path)
{
    const QString cleaned = clean(path);
    if (cleaned == desktopPath())
        return desktop();
    return {ShellLocation::Kind::Folder, cleaned};
}

QString ShellNamespace::displayName(const ShellLocation& location)
{
    switch (location.kind) {
    case ShellLocation::Kind::Desktop: return text(ShellText::Desktop);
    case ShellLocation::Kind::Computer: return nameOf(kComputerName);
    case ShellLocation::Kind::Folder: {
        if (location.path == QLatin1String("/"))
            return QStringLiteral("/");
        const QString name = QFileInfo(location.path).fileName();
        return name.isEmpty() ? location.path : name;
    }
    }
    return QString();
}

std::vector<QString> ShellNamespace::volumes()
{
    std::vector<QString> roots{QStringLiteral("/")};
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    if (!mounts.open(QIODevice::ReadOnly))
        return roots;
    QTextStream in(&mounts);
    for (QString line = in.readLine(); !line.isNull(); line = in.readLine()) {
        const QStringList fields = line.split(' ');
        if (fields.size() < 2 || !fields[0].startsWith(QLatin1String("/dev/")))
            continue;
        const QString point = clean(unescapeMount(fields[1]));
        if (std::find(roots.begin(), roots.end(), point) == roots.end() && QFileInfo(point).isDir())
            roots.push_back(point);
    }
    return roots;
}

std::vector<ShellEntry> ShellNamespace::children(const ShellLocation& location)
{
    std::vector<ShellEntry> folders;
    std::vector<ShellEntry> files;
    auto addPathEntry = [&](const QFileInfo& info) {
        ShellEntry entry;
        entry.displayName = info.fileName();
        entry.path = info.absoluteFilePath();
        entry.modified = info.lastModified();
        if (info.isSymLink()) {
            entry.kind = ShellEntry::Kind::Shortcut;
            entry.isShortcut = true;
            entry.typeText = text(ShellText::Shortcut);
            entry.size = info.exists() ? info.size() : 0;
            files.push_back(entry);
        } else if (info.isDir()) {
            entry.kind = ShellEntry::Kind::Folder;
            entry.isFolder = true;
            entry.location = ShellNamespace::folder(entry.path);
            entry.typeText = nameOf(kFolderType);
            folders.push_back(entry);
        } else {
            entry.kind = ShellEntry::Kind::File;
            entry.size = info.size();
            entry.typeText = fileTypeText(info.suffix());
            files.push_back(entry);
        }
    };
    auto byName = [](const ShellEntry& a, const ShellEntry& b) {
        const int c = a.displayName.compare(b.displayName, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.displayName < b.displayName;
    };
    auto listFolder = [&](const QString& path) {
        const QDir dir(path);
        const auto infos = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo& info : infos)
            addPathEntry(info);
        std::sort(folders.begin(), folders.end(), byName);
        std::sort(files.begin(), files.end(), byName);
    };

    switch (location.kind) {
    case ShellLocation::Kind::Desktop: {
        std::vector<ShellEntry> head;
        ShellEntry computerEntry;
        computerEntry.kind = ShellEntry::Kind::Computer;
        computerEntry.displayName = displayName(computer());
        computerEntry.isFolder = true;
        computerEntry.location = computer();
        computerEntry.typeText = nameOf(kSystemFolderType);
        head.push_back(computerEntry);
        ShellEntry home;
        home.kind = ShellEntry::Kind::Home;
        home.path = clean(QDir::homePath());
        home.displayName = QFileInfo(home.path).fileName().isEmpty() ? home.path : QFileInfo(home.path).fileName();
        home.isFolder = true;
        home.location = ShellLocation{ShellLocation::Kind::Folder, home.path};
        home.typeText = nameOf(kSystemFolderType);
        head.push_back(home);
        listFolder(desktopPath());
        head.insert(head.end(), folders.begin(), folders.end());
        head.insert(head.end(), files.begin(), files.end());
        return head;
    }
    case ShellLocation::Kind::Computer: {
        std::vector<ShellEntry> out;
        for (const QString& root : volumes()) {
            ShellEntry entry;
            entry.kind = ShellEntry::Kind::Volume;
            entry.path = root;
            entry.displayName = root;
            entry.isFolder = true;
            entry.location = ShellLocation{ShellLocation::Kind::Folder, root};
            entry.typeText = nameOf(kLocalDiskType);
            out.push_back(entry);
        }
        return out;
    }
    case ShellLocation::Kind::Folder: listFolder(location.path); break;
    }
    folders.insert(folders.end(), files.begin(), files.end());
    return folders;
}

std::optional<ShellLocation> ShellNamespace::parent(const ShellLocation& location)
{
    switch (location.kind) {
    case ShellLocation::Kind::Desktop: return std::nullopt;
    case ShellLocation::Kind::Computer: return desktop();
    case ShellLocation::Kind::Folder: break;
    }
    if (location.path == QLatin1String("/") || isVolumeRoot(location.path))
        return computer();
    if (clean(location.path) == clean(QDir::homePath()))
        return desktop();
    QString up = QFileInfo(location.path).path();
    return folder(up);
}

QString ShellNamespace::resolveShortcut(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isSymLink())
        return QString();
    return clean(info.symLinkTarget());
}

} // namespace Mfc
