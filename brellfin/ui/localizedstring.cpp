#include "brellfin/ui/localizedstring.h"

#include "brellfin/profile/profilefile.h"
#include "brellfin/ui/qttranslations.h"
#include "brellfin/ui/uiconstants.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QMutex>
#include <QMutexLocker>

namespace BrellfinUi {

namespace {

QMutex g_folderMutex;
QString g_folderOverride;

// The default locale: the system's unless the program set another.
Language systemLanguage()
{
    return QLocale().language() == QLocale::Chinese ? Language::Chinese : Language::English;
}

} // namespace

QString programFolder()
{
    {
        QMutexLocker lock(&g_folderMutex);
        if (!g_folderOverride.isEmpty())
            return g_folderOverride;
    }
    return QCoreApplication::applicationDirPath();
}

void setProgramFolderForTesting(const QString& folder)
{
    QMutexLocker lock(&g_folderMutex);
    g_folderOverride = folder;
}

Language currentLanguage()
{
    const QString path = QDir(programFolder()).filePath(kLanguageFileName);
    const QString value = ProfileFile::readString(path, kLanguageSection, kLanguageKey).left(kLanguageValueMaxChars);
    bool ok = false;
    const int language = value.trimmed().toInt(&ok);
    if (ok && language == kLanguageChinese)
        return Language::Chinese;
    if (ok && language == kLanguageEnglish)
        return Language::English;
    return systemLanguage();
}

} // namespace BrellfinUi

CString loadLocalizedString(BrellfinUi::StringId id)
{
    const BrellfinUi::Language language = BrellfinUi::currentLanguage();
    // Like the thread UI language of the platform: Qt's own texts shown
    // after this load speak the same language.
    BrellfinUi::useQtTranslations(language);
    const char* text = BrellfinUi::stringTableText(id, language);
    return text ? QString::fromUtf8(text) : QString();
}
