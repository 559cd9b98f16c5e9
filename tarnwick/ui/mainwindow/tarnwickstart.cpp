#include "tarnwick/ui/mainwindow/tarnwickstart.h"

#include "platform/termination/terminationnotifier.h"
#include "tarnwick/core/constants.h"
#include "tarnwick/core/loghandler.h"
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
#include <QLocale>
#include <QMessageBox>

namespace C = Tarnwick::MainWindow;

namespace {

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
    m_termination.reset();
    m_qtCatalogue.remove();
    // Restores the replaced handler and writes what the log still holds.
    if (m_handlerInstalled)
        LogHandler::uninstall();
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

void TarnwickStart::loadQtTranslations()
{
    // Qt's own file dialogs and standard buttons in the language of every
    // other text of the program.
    if (!m_qtCatalogue.install(QLocale(C::programLocale())))
        qWarning().noquote() << "Qt's translations for" << C::programLocale() << "not found";
}

void TarnwickStart::onTerminationRequested(int signalNumber)
{
    qDebug().noquote() << "end requested by signal" << signalNumber;
    if (m_window) {
        m_window->closeWithoutQuestion();
        return;
    }
    m_terminated = true;
    QCoreApplication::quit();
}

int TarnwickStart::start()
{
    qSetMessagePattern(C::messagePattern());
    // From here on SIGTERM and SIGINT wait for the event loop instead of
    // ending the process where it stands.
    if (!m_termination) {
        m_termination = std::make_unique<TerminationNotifier>();
        QObject::connect(m_termination.get(), &TerminationNotifier::terminationRequested,
                         [this](int signalNumber) { onTerminationRequested(signalNumber); });
    }
    if (!m_qtCatalogue.isInstalled())
        loadQtTranslations();

    // Every "data/..." name of the program is relative to the data folder;
    // the log file among them, so the folder comes before the log handler.
    const bool folderReady = enterDataFolder();
    if (folderReady && !m_handlerInstalled) {
        LogHandler::install();
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
    if (m_terminated)
        return 0;
    auto window = std::make_unique<MainFrame>();
    m_window = window.get();
    window->show();
    const int code = QApplication::exec();
    window.reset();
    return code;
}
