#pragma once

// An X server of the test's own (Xvfb, on a display number it picks itself
// with -displayfd, no TCP) and openbox managing it; both end with the
// object, also when a check fails half-way.
//
//   XSession x;
//   if (!x.start(QSize(1366, 768), 96)) GTEST_SKIP() << x.why().toStdString();
//   process.setProcessEnvironment(x.environment());

#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>

#include <memory>

namespace TestX {

class XSession {
public:
    XSession();
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // Starts the server with one screen of size at dpi and the window
    // manager, and waits (at most a minute each) until the server takes
    // connections and the window manager has named itself on the root window.
    // False with why() set when a program is missing or does not come up.
    bool start(const QSize& size, int dpi);
    QString why() const { return m_why; }
    // ":N".
    QString display() const { return m_display; }
    // The caller's environment for a Qt program on this display: DISPLAY,
    // the xcb platform, software painting (no GL driver to load), no
    // XAUTHORITY, and no strict string checks in AddressSanitizer (the
    // keymap library reads a name past its end).
    QProcessEnvironment environment() const;

    // Runs an X tool (xprop, xwininfo) on this display: its standard output,
    // empty when it did not run.
    QString run(const QString& tool, const QStringList& arguments) const;

private:
    static void stop(QProcess& process);

    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<QProcess> m_windowManager;
    QString m_display;
    QString m_why;
};

} // namespace TestX
