#include "brellfin/lists/uniquename.h"

#include "brellfin/ui/localizedstring.h"

using BrellfinUi::StringId;

QString uniqueName(const QString& name, const QString& infix, bool isFolder,
                   const std::function<bool(const QString& name)>& taken)
{
    if (!taken(name))
        return name;
    QString base = name;
    QString extension;
    const int dot = name.lastIndexOf('.');
    if (!isFolder && dot >= 0) {
        base = name.left(dot);
        extension = name.mid(dot);
    }
    const QString open = loadLocalizedString(StringId::OpenParenthesis);
    const QString close = loadLocalizedString(StringId::CloseParenthesis);
    for (qint64 n = 1;; ++n) {
        const QString candidate = base + infix + open + QString::number(n) + close + extension;
        if (!taken(candidate))
            return candidate;
    }
}
