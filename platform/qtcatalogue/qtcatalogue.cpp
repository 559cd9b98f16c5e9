#include "platform/qtcatalogue/qtcatalogue.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace platform {

namespace {
// Qt's meta catalogue: it names the catalogue of each module as a dependency.
const char kCatalogueName[] = "qt";
} // namespace

QtCatalogue::QtCatalogue() = default;

QtCatalogue::~QtCatalogue()
{
    remove();
}

bool QtCatalogue::install(const QLocale& locale, const QString& folder)
{
    remove();
    if (!QCoreApplication::instance())
        return false;
    const QString from = folder.isEmpty() ? QLibraryInfo::location(QLibraryInfo::TranslationsPath) : folder;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, QString::fromLatin1(kCatalogueName), QStringLiteral("_"), from))
        return false;
    if (!QCoreApplication::installTranslator(translator.get()))
        return false;
    m_translator = std::move(translator);
    return true;
}

void QtCatalogue::remove()
{
    if (!m_translator)
        return;
    // After the application object has gone there is nothing to take it out of.
    if (QCoreApplication::instance())
        QCoreApplication::removeTranslator(m_translator.get());
    m_translator.reset();
}

} // namespace platform
