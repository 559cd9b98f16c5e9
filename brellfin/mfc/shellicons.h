#pragma once

// The icons the shell list shows beside its entries, as the platform's
// shell shows them: the computer, its drives, the home folder, folders,
// shortcuts, and files by their type (text, image, audio, video, archive,
// program, document; any other file the plain file icon).

#include "brellfin/mfc/shellnamespace.h"

#include <QIcon>
#include <QString>

namespace Mfc {

class ShellIcons {
public:
    // The kind of icon an entry gets; entries with the same key look alike.
    static QString keyOf(const ShellEntry& entry);
    // The icon of a key that keyOf gave.
    static QIcon icon(const QString& key);
    // The type class of a file name ("text", "image", ...; empty: none known).
    static QString typeClassOf(const QString& fileName);
};

} // namespace Mfc
