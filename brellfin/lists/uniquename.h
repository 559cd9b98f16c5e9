#pragma once

// A free name for a new or pasted item: the name itself when nothing has it,
// else base + infix + "(" + n + ")" + extension for the first free n from 1
// (the string table's OpenParenthesis and CloseParenthesis: full-width in
// Chinese). A folder's whole name is its base; a file's extension starts at
// its last ".".

#include <QString>

#include <functional>
#include <optional>

QString uniqueName(const QString& name, const QString& infix, bool isFolder,
                   const std::function<bool(const QString& name)>& taken);
// The same where a name's check can fail (taken answers nothing): no name
// then, since a name that may be taken is no free one.
std::optional<QString> checkedUniqueName(const QString& name, const QString& infix, bool isFolder,
                                         const std::function<std::optional<bool>(const QString& name)>& taken);
