#include "brellfin/mfc/shellicons.h"

#include <QApplication>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QPainter>
#include <QStyle>

#include <map>

namespace {

QIcon standard(QStyle::StandardPixmap which)
{
    return QApplication::style()->standardIcon(which);
}

// The band colour of each type class.
QColor classColour(const QString& typeClass)
{
    static const std::map<QString, QColor> colours{
        {QStringLiteral("text"), QColor(70, 110, 170)},     {QStringLiteral("image"), QColor(40, 150, 70)},
        {QStringLiteral("audio"), QColor(140, 70, 170)},    {QStringLiteral("video"), QColor(200, 60, 60)},
        {QStringLiteral("archive"), QColor(190, 140, 30)},  {QStringLiteral("program"), QColor(60, 60, 60)},
        {QStringLiteral("document"), QColor(220, 110, 30)},
    };
    const auto found = colours.find(typeClass);
    return found == colours.end() ? QColor(Qt::gray) : found->second;
}

// The plain file icon with a band in the type's colour along its foot.
QIcon fileIconOf(const QString& typeClass)
{
    const QIcon plain = standard(QStyle::SP_FileIcon);
    if (typeClass.isEmpty())
        return plain;
    QIcon icon;
    for (int size : {16, 32}) {
        QPixmap pixmap = plain.pixmap(size, size);
        if (pixmap.isNull()) {
            pixmap = QPixmap(size, size);
            pixmap.fill(Qt::white);
        }
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(classColour(typeClass));
        const int band = std::max(4, size / 3);
        painter.drawRoundedRect(QRectF(size * 0.12, size - band - size * 0.06, size * 0.76, band), 1.5, 1.5);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

namespace Mfc {

QString ShellIcons::typeClassOf(const QString& fileName)
{
    static const QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return QString();
    const QString name = type.name();
    const auto is = [&](const char* what) { return type.inherits(QString::fromLatin1(what)); };
    if (name.startsWith(QLatin1String("image/")))
        return QStringLiteral("image");
    if (name.startsWith(QLatin1String("audio/")))
        return QStringLiteral("audio");
    if (name.startsWith(QLatin1String("video/")))
        return QStringLiteral("video");
    if (is("application/zip") || is("application/x-tar") || is("application/gzip") || is("application/x-7z-compressed")
        || is("application/x-rar") || is("application/vnd.rar") || is("application/x-bzip") || is("application/x-xz")
        || name.contains(QLatin1String("compressed")) || name.contains(QLatin1String("archive")))
        return QStringLiteral("archive");
    if (is("application/x-executable") || is("application/x-sharedlib") || is("application/x-msdownload")
        || is("application/x-ms-dos-executable") || is("application/x-shellscript") || is("application/x-msi")
        || is("application/x-bat"))
        return QStringLiteral("program");
    if (is("application/pdf") || name.contains(QLatin1String("document")) || name.contains(QLatin1String("msword"))
        || name.contains(QLatin1String("ms-excel")) || name.contains(QLatin1String("ms-powerpoint"))
        || name.contains(QLatin1String("spreadsheet")) || name.contains(QLatin1String("presentation")))
        return QStringLiteral("document");
    if (is("text/plain"))
        return QStringLiteral("text");
    return QString();
}

QString ShellIcons::keyOf(const ShellEntry& entry)
{
    using Kind = ShellEntry::Kind;
    switch (entry.kind) {
    case Kind::Computer: return QStringLiteral("computer");
    case Kind::Volume: return QStringLiteral("drive");
    case Kind::Home: return QStringLiteral("home");
    case Kind::Folder: return QStringLiteral("folder");
    case Kind::Shortcut:
        return QFileInfo(entry.path).isDir() ? QStringLiteral("folder-link") : QStringLiteral("file-link");
    case Kind::File: break;
    }
    const QString typeClass = typeClassOf(entry.displayName);
    return typeClass.isEmpty() ? QStringLiteral("file") : QStringLiteral("file:") + typeClass;
}

QIcon ShellIcons::icon(const QString& key)
{
    // Made once each, on the GUI thread that lists.
    static std::map<QString, QIcon> made;
    const auto found = made.find(key);
    if (found != made.end())
        return found->second;
    QIcon icon;
    if (key == QLatin1String("computer"))
        icon = standard(QStyle::SP_ComputerIcon);
    else if (key == QLatin1String("drive"))
        icon = standard(QStyle::SP_DriveHDIcon);
    else if (key == QLatin1String("home"))
        icon = standard(QStyle::SP_DirHomeIcon);
    else if (key == QLatin1String("folder"))
        icon = standard(QStyle::SP_DirIcon);
    else if (key == QLatin1String("folder-link"))
        icon = standard(QStyle::SP_DirLinkIcon);
    else if (key == QLatin1String("file-link"))
        icon = standard(QStyle::SP_FileLinkIcon);
    else if (key.startsWith(QLatin1String("file:")))
        icon = fileIconOf(key.mid(5));
    else
        icon = standard(QStyle::SP_FileIcon);
    made.emplace(key, icon);
    return icon;
}

} // namespace Mfc
