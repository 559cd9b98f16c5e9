#pragma once

// Points the program's folder at a temporary one whose "VexaSetCfg.ini"
// chooses the texts' language; the default folder comes back at the end.

#include "brellfin/ui/localizedstring.h"

#include <QFile>
#include <QTemporaryDir>

class LanguageFolder {
public:
    explicit LanguageFolder(int language)
    {
        QFile file(m_dir.filePath("VexaSetCfg.ini"));
        if (file.open(QIODevice::WriteOnly))
            file.write("[SystemVars]\r\nLanguageValue=" + QByteArray::number(language) + "\r\n");
        BrellfinUi::setProgramFolderForTesting(m_dir.path());
    }
    ~LanguageFolder() { BrellfinUi::setProgramFolderForTesting(QString()); }
    LanguageFolder(const LanguageFolder&) = delete;
    LanguageFolder& operator=(const LanguageFolder&) = delete;

private:
    QTemporaryDir m_dir;
};
