#pragma once

// Qt's own texts in the program's language, as the platform's own dialogs
// speak the user's: the standard buttons of message boxes ("确定", "取消"),
// the file dialogs and the context menus of edit fields. Qt keeps them in
// one catalogue per locale ("qt_zh_CN.qm", which pulls in the catalogues of
// every Qt module); an installed catalogue translates them for the whole
// application until it is removed.
//
//   platform::QtCatalogue catalogue;
//   catalogue.install(QLocale(QLocale::Chinese, QLocale::China));
//   QMessageBox::critical(...);   // its button reads "确定"

#include <QLocale>
#include <QString>

#include <memory>

class QTranslator;

namespace platform {

class QtCatalogue {
public:
    QtCatalogue();
    // Removes the catalogue it installed.
    ~QtCatalogue();
    QtCatalogue(const QtCatalogue&) = delete;
    QtCatalogue& operator=(const QtCatalogue&) = delete;

    // Loads Qt's catalogue of locale from folder (Qt's own translations
    // folder when empty) and installs it in place of the one this object
    // installed before. False when there is no application object or no
    // catalogue for the locale; then none of this object's is installed.
    // Call it on the application's thread.
    bool install(const QLocale& locale, const QString& folder = QString());
    // Takes the installed catalogue out again; Qt's texts are English then.
    void remove();
    bool isInstalled() const { return m_translator != nullptr; }

private:
    std::unique_ptr<QTranslator> m_translator;
};

} // namespace platform
