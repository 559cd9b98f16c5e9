#include "brellfin/ui/qttranslations.h"

#include "platform/qtcatalogue/qtcatalogue.h"

#include <QCoreApplication>
#include <QLocale>
#include <QThread>

#include <optional>

namespace BrellfinUi {

namespace {

// Touched on the application's thread only.
platform::QtCatalogue g_catalogue;
std::optional<Language> g_installed;
QString g_folderOverride;

} // namespace

bool useQtTranslations(Language language)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return true;
    if (g_installed == language)
        return g_catalogue.isInstalled() || language == Language::English;
    g_installed = language;
    g_catalogue.remove();
    if (language == Language::English)
        return true;
    return g_catalogue.install(QLocale(QLocale::Chinese, QLocale::China), g_folderOverride);
}

void setQtTranslationsFolderForTesting(const QString& folder)
{
    g_folderOverride = folder;
    g_installed.reset();
}

} // namespace BrellfinUi
