#pragma once

// An X display of a test's own: Xvfb at a screen size and DPI, on a display
// number that the server picks itself (-displayfd: tests running beside each
// other never meet), with openbox managing its windows. Programs run on it
// with environment(); display() tells what the server and the window manager
// say of its windows. The window manager and the server stop with the
// object. Needs Xvfb, openbox and x11-utils; missingTools() names what is
// missing.

#include "testing/xsession/xdisplay.h"

#include <QProcess>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>

namespace TestX {

// What a program of checks (a GoogleTest program) run on a display wrote,
// and how it ended.
struct ChecksRun {
    bool finished = false;
    int exitCode = -1;
    QString output;
    // Every test ran and passed: the count that GoogleTest prints, none skipped.
    bool allPassed(int tests) const;
};

class XSession {
public:
    XSession(const QSize& screen, int dpi);
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // The programs a session needs that are not installed.
    static QStringList missingTools();

    // Starts the server and then, unless it is to stay bare, the window
    // manager, waiting at most timeoutMs for each to be up; a server whose
    // clients do not reach it alone, or a window manager that cannot reach
    // it, is given up and another started, three times at most. False, with
    // why, when none is up.
    enum class Manager { Openbox, None };
    bool start(std::string* why, Manager manager = Manager::Openbox, int timeoutMs = 60000);

    QSize screenSize() const { return m_screen; }
    int dpi() const { return m_dpi; }
    // The environment of a Qt program on the display: the system's, with
    // DISPLAY, the xcb platform and software painting (no GL driver); the
    // DPI is the server's.
    QProcessEnvironment environment() const;
    const XDisplay& display() const { return m_display; }

    // Runs program on the display with the arguments (a --gtest_filter=...)
    // and extra variables, waiting at most timeoutMs for it to end.
    ChecksRun runChecks(const QString& program, const QStringList& arguments,
                        const QProcessEnvironment& extra = QProcessEnvironment(), int timeoutMs = 600000) const;

private:
    bool startOnce(std::string* why, Manager manager, int timeoutMs);

    QSize m_screen;
    int m_dpi;
    XDisplay m_display;
    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<QProcess> m_windowManager;
};

} // namespace TestX
