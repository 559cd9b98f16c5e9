#pragma once

// Loading a text of the string table in the language that the settings file
// beside the program names, read again on every load.

#include "brellfin/ui/stringtable.h"

#include <QString>

// The tool's wide text type.
using CString = QString;

// The text of string id in the language of [SystemVars] LanguageValue of
// "VexaSetCfg.ini" in the program's folder: 2052 Chinese, 1033 English, any
// other value (or none) the system's (Chinese under a Chinese locale, else
// English). Empty when the table has no such id.
CString loadLocalizedString(BrellfinUi::StringId id);

namespace BrellfinUi {

// The language that loadLocalizedString would use now.
Language currentLanguage();
// The folder of the program: applicationDirPath(), or the folder set here.
QString programFolder();
// Tests point the program's folder elsewhere; an empty text restores the default.
void setProgramFolderForTesting(const QString& folder);

} // namespace BrellfinUi
