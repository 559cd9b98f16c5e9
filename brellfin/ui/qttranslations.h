#pragma once

// Qt's own texts (the buttons of message boxes, the standard dialogs) in the
// tool's UI language, as the platform's own dialogs would speak it: while
// the tool speaks Chinese, Qt's Chinese catalogue is installed for the
// application; in English none is.

#include "brellfin/ui/stringtable.h"

#include <QString>

namespace BrellfinUi {

// Installs Qt's catalogue of language, or removes it for English. Acts only
// on the application's own thread and only when the language changes.
// False when the catalogue of a Chinese UI cannot be loaded.
bool useQtTranslations(Language language);
// The folder Qt's catalogues are read from: Qt's translations folder, or the
// one set here (tests); an empty text restores Qt's.
void setQtTranslationsFolderForTesting(const QString& folder);

} // namespace BrellfinUi
