#pragma once

// The PC's shell namespace over the local file system: the virtual folders
// "Desktop" (the start; the XDG desktop folder, else home) and "Computer"
// ("/" and the mounted real volumes), then every folder of the file system.
// A symbolic link is the shell's shortcut. The shell's own names ("Computer",
// "System Folder", "File folder", "TXT File", ...) come in the language the
// program gives it, English or Chinese, as the platform's shell would show
// them there.

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace Mfc {

struct ShellLocation {
    enum class Kind { Desktop, Computer, Folder };
    Kind kind = Kind::Desktop;
    // The file-system path of a Folder; empty for the virtual ones.
    QString path;

    bool operator==(const ShellLocation& other) const { return kind == other.kind && path == other.path; }
};

enum class ShellLanguage { English, Chinese };

// The two texts of the namespace that the program's string table gives.
enum class ShellText { Desktop, Shortcut };

struct ShellEntry {
    // What the entry is, for its icon.
    enum class Kind { Computer, Volume, Home, Folder, File, Shortcut };
    Kind kind = Kind::File;
    QString displayName;
    // Empty for a virtual item.
    QString path;
    std::optional<ShellLocation> location; // set for items that open as folders
    bool isFolder = false;
    bool isShortcut = false;
    qint64 size = 0;
    QDateTime modified;
    QString typeText;
};

class ShellNamespace {
public:
    // The program's words for "Desktop" and "Shortcut"; the English ones
    // without a provider or where it gives an empty text.
    static void setTextProvider(std::function<QString(ShellText)> provider);
    static QString text(ShellText which);
    // The language of the shell's own names, asked at every listing;
    // English without a provider.
    static void setLanguageProvider(std::function<ShellLanguage()> provider);
    static ShellLanguage language();
    // The type text of a file with this suffix ("TXT File", "TXT 文件";
    // "File" without one).
    static QString fileTypeText(const QString& suffix);

    // The desktop folder: XDG's when it exists, else the home folder.
    static QString desktopPath();
    static ShellLocation desktop() { return {ShellLocation::Kind::Desktop, QString()}; }
    static ShellLocation computer() { return {ShellLocation::Kind::Computer, QString()}; }
    // The location of a file-system folder (the desktop folder is Desktop).
    static ShellLocation folder(const QString& path);

    static QString displayName(const ShellLocation& location);
    // The folder's items: folders first, then files, each by name; hidden ones too.
    static std::vector<ShellEntry> children(const ShellLocation& location);
    // None at Desktop.
    static std::optional<ShellLocation> parent(const ShellLocation& location);
    // The mount points of real volumes, "/" first.
    static std::vector<QString> volumes();
    // The target of a shortcut (a symbolic link), absolute; empty when none.
    static QString resolveShortcut(const QString& path);
};

} // namespace Mfc
