#include "tarnwick/ui/mainwindow/tarnwickstart.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/core/logger.h"
#include "tarnwick/core/programpath.h"
#include "tarnwick/ui/mainwindow/mainframe.h"
#include "tarnwick/ui/mainwindow/mainwindowconstants.h"
#include "tarnwick/ui/settings/helpview.h"
#include "tarnwick/vnc/vncimagequality.h"
#include "tarnwick/widgets/appfont.h"

#include <QApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>

namespace C = Tarnwick::MainWindow;

namespace {

// Writes the formatted line to stderr as Qt's own handler does, and into
// the program's log.
void logMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QString line = qFormatLogMessage(type, context, message);
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
    Logger::append(type, context, line);
    if (type == QtFatalMsg) {
        Logger::instance()->flush();
        std::abort();
    }
}

constexpr QFile::Permissions kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

bool makeOwnerFolder(const QString& path)
{
    if (!QDir().mkpath(path))
        return false;
    return QFile::setPermissions(path, kOwnerOnly);
}

} // namespace

TarnwickStart::TarnwickStart() = default;

TarnwickStart::~TarnwickStart()
{
    if (m_handlerInstalled) {
        qInstallMessageHandler(m_previousHandler);
        Logger::instance()->flush();
    }
    if (m_lock)
        m_lock->release();
}

QString TarnwickStart::dataFolder()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return base + QLatin1Char('/') + C::dataFolderName();
}

bool TarnwickStart::enterDataFolder()
{
    const QString folder = dataFolder();
    if (!makeOwnerFolder(folder) || !makeOwnerFolder(folder + QStringLiteral("/data")))
        return false;
    return QDir::setCurrent(folder);
}

int TarnwickStart::refuse(const QString& text)
{
    QMessageBox::critical(nullptr, C::errorTitle(), text, QMessageBox::Ok, QMessageBox::NoButton);
    return -1;
}

int TarnwickStart::start()
{
    qSetMessagePattern(C::messagePattern());

    // Every "data/..." name of the program is relative to the data folder;
    // the log file among them, so the folder comes before the log handler.
    const bool folderReady = enterDataFolder();
    if (folderReady && !m_handlerInstalled) {
        m_previousHandler = qInstallMessageHandler(logMessage);
        m_handlerInstalled = true;
    }

    m_lock = std::make_unique<Platform::InstanceLock>(Tarnwick::Constants::kMutexName.toLocal8Bit().toStdString(),
                                                      QFile::encodeName(dataFolder()).toStdString());
    const Platform::LockResult lock = folderReady ? m_lock->acquire() : Platform::LockResult::CannotOpen;
    if (lock == Platform::LockResult::CannotOpen) {
        qWarning().noquote() << "instance lock not available:" << QString::fromStdString(m_lock->path())
                             << m_lock->lastError();
        return refuse(C::startAsAdminText());
    }
    if (lock == Platform::LockResult::HeldElsewhere)
        return refuse(C::singleInstanceText());

    // The help text ships beside the program; the data folder gets a copy
    // once, so the help box has something to show.
    HelpView::provideHelpFile(ProgramPath::resolve(Tarnwick::Constants::kHelpFile), Tarnwick::Constants::kHelpFile);

    AppFont::apply();
    qRegisterMetaType<VncImageQuality>("VncImageQuality");
    return 0;
}

int TarnwickStart::exec()
{
    auto window = std::make_unique<MainFrame>();
    window->show();
    const int code = QApplication::exec();
    window.reset();
    return code;
}
