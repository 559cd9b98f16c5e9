#include "brellfin/lists/uniquename.h"

#include "brellfin/ui/localizedstring.h"

using BrellfinUi::StringId;

std::optional<QString> checkedUniqueName(const QString& name, const QString& infix, bool isFolder,
                                         const std::function<std::optional<bool>(const QString& name)>& taken)
{
    const std::optional<bool> nameTaken = taken(name);
    if (!nameTaken)
        return std::nullopt;
    if (!*nameTaken)
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
        const std::optional<bool> candidateTaken = taken(candidate);
        if (!candidateTaken)
            return std::nullopt;
        if (!*candidateTaken)
            return candidate;
    }
}

QString uniqueName(const QString& name, const QString& infix, bool isFolder,
                   const std::function<bool(const QString& name)>& taken)
{
    // A check that always answers always gives a name.
    return *checkedUniqueName(name, infix, isFolder,
                              [&](const QString& candidate) { return std::optional<bool>(taken(candidate)); });
}
