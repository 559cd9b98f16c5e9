#include "quillet/app/quilletmain.h"

#include "platform/instancelock/instancelock.h"
#include "platform/qtcatalogue/qtcatalogue.h"
#include "quillet/app/mainwindow.h"
#include "quillet/app/quilletconstants.h"
#include "quillet/widgets/screentool.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QLocale>
#include <QMessageBox>
#include <QStandardPaths>

#include <memory>

using namespace Quillet;

namespace {

QString fontFamily()
{
    const QStringList families = QFontDatabase().families();
    if (families.contains(QString::fromLatin1(kFontFamily)))
        return QString::fromLatin1(kFontFamily);
    return QString::fromLatin1(kFallbackFontFamily);
}

// Where the lock file goes when the session has no runtime folder.
std::string lockFallbackFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    if (folder.isEmpty())
        folder = QDir(QCoreApplication::applicationDirPath()).filePath("data");
    return folder.toStdString();
}

} // namespace

int runQuillet(QApplication& app, int argc, char** argv, VirtualCom* pair)
{
    // Qt's own texts (the buttons of the boxes below, the edit fields'
    // context menus) in the language of the window, until this returns.
    platform::QtCatalogue qtTexts;
    if (!qtTexts.install(QLocale(QString::fromLatin1(kLocale))))
        qWarning("Qt's translations for %s not found", kLocale);

    // Sockets need no start-up here. The lock is held until this returns and
    // dropped by the kernel should the process die.
    Platform::InstanceLock lock(kInstanceName, lockFallbackFolder());
    const Platform::LockResult locked = lock.acquire();
    if (locked != Platform::LockResult::Acquired) {
        QMessageBox::critical(nullptr, text(Text::kError),
                              text(locked == Platform::LockResult::HeldElsewhere ? Text::kSecondCopy : Text::kNoLock),
                              QMessageBox::Ok);
        return -1;
    }

    QFont font = QApplication::font();
    font.setPointSize(ScreenTool::fontSize(11) - 1);
    font.setFamily(fontFamily());
    QApplication::setFont(font);

    auto window = std::make_unique<MainWindow>(nullptr, pair);
    if (argc > 1 && argv[1]) {
        qDebug("ip=%s", argv[1]);
        window->setIp(QString::fromLatin1(argv[1]));
    }
    window->show();
    const int result = app.exec();
    window.reset();
    return result;
}
