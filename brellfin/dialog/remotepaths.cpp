#include "brellfin/dialog/remotepaths.h"

#include "brellfin/ui/localizedstring.h"
#include "brellfin/ui/sharedtexts.h"

#include <QRegularExpression>
#include <QStringList>

CString toShownPath(const CString& realPath)
{
    if (realPath.contains(g_userDirRoot)) {
        if (realPath.size() == g_userDirRoot.size())
            return g_rootPath;
        CString shown = realPath;
        shown.remove(g_userDirRoot);
        return shown;
    }
    if (realPath.startsWith(g_usbRoot)) {
        const CString rest = realPath.mid(g_usbRoot.size());
        const int slash = rest.indexOf('/');
        return slash < 0 ? g_rootPath : rest.mid(slash);
    }
    return realPath;
}

CString toRealPath(const CString& shownPath)
{
    if (!shownPath.startsWith(g_userAreaTitle))
        return shownPath;
    CString real = shownPath;
    real.replace(g_userAreaTitle, g_userDirRoot);
    return real;
}

CString folderTitle(const CString& realPath, const CString& rootText)
{
    if (realPath.compare(g_userDirRoot, Qt::CaseInsensitive) == 0)
        return g_userAreaTitle;
    if (realPath.compare(rootText, Qt::CaseInsensitive) == 0)
        return g_usbTitle;
    const CString shown = toShownPath(realPath);
    const int slash = shown.lastIndexOf('/');
    return slash < 0 ? shown : shown.mid(slash + 1);
}

CString uncheckedPathText(const CString& realPath)
{
    return toShownPath(realPath) + ' ' + loadLocalizedString(BrellfinUi::StringId::ExistenceCheckFailed);
}

CString shortenForDisplay(const CString& text)
{
    if (text.size() > 30)
        return text.left(30) + QStringLiteral(". . .");
    return text;
}

bool isValidRemotePath(CString& text)
{
    text.replace('\\', '/');
    static const QRegularExpression slashes(QStringLiteral("/{2,}"));
    text.replace(slashes, QStringLiteral("/"));
    return !text.contains(QLatin1String("/./")) && !text.contains(QLatin1String("/../"))
           && !text.startsWith(QLatin1String("../")) && !text.endsWith(QLatin1String("/.."));
}

bool isDottedQuad(const CString& text)
{
    const QStringList parts = text.split('.');
    if (parts.size() != 4)
        return false;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        for (QChar c : part)
            if (c < '0' || c > '9')
                return false;
        if (part.toInt() > 255)
            return false;
    }
    return true;
}
