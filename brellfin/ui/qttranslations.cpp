#include "brellfin/ui/qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QThread>
#include <QTranslator>

#include <memory>
#include <optional>

namespace BrellfinUi {

namespace {

// Touched on the application's thread only.
std::unique_ptr<QTranslator> g_translator;
std::optional<Language> g_installed;
bool g_loaded = false;
QString g_folderOverride;

QString catalogueFolder()
{
    return g_folderOverride.isEmpty() ? QLibraryInfo::location(QLibraryInfo::TranslationsPath) : g_folderOverride;
}

} // namespace

bool useQtTranslations(Language language)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return true;
    if (g_installed == language)
        return g_loaded || language == Language::English;
    g_installed = language;
    g_loaded = false;
    if (g_translator) {
        QCoreApplication::removeTranslator(g_translator.get());
        g_translator.reset();
    }
    if (language == Language::English)
        return true;
    auto translator = std::make_unique<QTranslator>();
    // "qt_zh_CN" names the catalogues of every Qt module the tool uses.
    if (!translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qt"), QStringLiteral("_"),
                          catalogueFolder()))
        return false;
    QCoreApplication::installTranslator(translator.get());
    g_translator = std::move(translator);
    g_loaded = true;
    return true;
}

void setQtTranslationsFolderForTesting(const QString& folder)
{
    g_folderOverride = folder;
    g_installed.reset();
}

} // namespace BrellfinUi
