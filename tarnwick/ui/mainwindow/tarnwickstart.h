#pragma once

// The start and the end of the program Tarnwick, around an application object
// that the caller made: the log format and the log handler, Qt's own
// translations for the program's language, the user's data folder as working
// folder, the single-instance lock, the application font and the meta-types;
// then the main window and the event loop; at the end the window, the log
// handler and the lock, in order. SIGTERM and SIGINT end the program as a
// confirmed close of the window does. main() and the tests run the same steps.
//
// What the program leaves outside itself ends here and nowhere else, in one
// order: the cloud session, the VPN (its routes and openvpn), the local
// forwarding (its route and the panel's bridge), then the log. Normally this
// runs once the event loop is over, while events can still run for the
// logout and the panel's answer; what it waits for, it waits for until the
// window's end deadline at most (MainFrame::endDeadline), and the work still
// running for a panel is then left to itself. When Qt ends the process with exit() from
// inside the loop (its X display is gone; it warns just before), an exit
// hook registered at that warning runs first in exit() and does the same
// steps but those that need events: the VPN and the route of the
// forwarding, then the log, each bounded. The services' own destructors,
// which run after it, reach nobody else.

#include "platform/instancelock/instancelock.h"
#include "platform/qtcatalogue/qtcatalogue.h"

#include <QPointer>
#include <QString>
#include <QtGlobal>

#include <memory>

class MainFrame;
class TerminationNotifier;

class TarnwickStart {
public:
    TarnwickStart();
    // Restores the previous message handler, flushes the log, releases the lock.
    ~TarnwickStart();
    TarnwickStart(const TarnwickStart&) = delete;
    TarnwickStart& operator=(const TarnwickStart&) = delete;

    // The start-up steps. 0 when the program may run; -1 when it is refused,
    // after the critical box "错误" with the reason was dismissed.
    int start();
    // Builds and shows the main window, runs the event loop, destroys the
    // window; the loop's result.
    int exec();

    // $XDG_DATA_HOME/Tarnwick, or ~/.local/share/Tarnwick.
    static QString dataFolder();

private:
    // Makes the data folder and its "data" subfolder (0700) and enters it.
    static bool enterDataFolder();
    int refuse(const QString& text);
    void loadQtTranslations();
    // A request to end (SIGTERM, SIGINT): the window ends without asking;
    // before there is one, the event loop that runs ends.
    void onTerminationRequested(int signalNumber);
    // The program's message handler while the window runs: hands every
    // message on and registers the exit hook when Qt announces its exit().
    static void watchMessage(QtMsgType type, const QMessageLogContext& context, const QString& message);
    // The window hears nothing more from the services and polls nothing more.
    void detachWindow();
    // The end while events can run, after the event loop.
    void endOrderly();
    // The end from inside exit(): no event runs.
    void endQuickly();
    static void endAtExit();

    enum class Ending { NotYet, Running, Done };

    std::unique_ptr<Platform::InstanceLock> m_lock;
    platform::QtCatalogue m_qtCatalogue;
    std::unique_ptr<TerminationNotifier> m_termination;
    QPointer<MainFrame> m_window;
    bool m_handlerInstalled = false;
    bool m_terminated = false;
    Ending m_ending = Ending::NotYet;
};
