#pragma once

// Shared pieces of the main window tests: waiting with events running, a
// watcher of the modal boxes, a capture of every log line, and a cloud
// service fake with one account.

#include "tarnwick/widgets/messagebox.h"
#include "testing/fakecloud/fakecloud.h"
#include "testing/main/eventwait.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <utility>

using TestWait::waitUntil;

// Also runs the deletions that deleteLater() asked for.
inline void spin(int ms)
{
    waitUntil([] { return false; }, ms);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Hands every visible message box to handle, each intervalMs, from the
// moment it is made until stop() or its end: for tests that read a box's
// contents and close it themselves from inside its loop.
class BoxWatcher {
public:
    BoxWatcher(int intervalMs, std::function<void(MessageBox*)> handle)
        : m_handle(std::move(handle))
    {
        m_timer.setInterval(intervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<MessageBox*>(w);
                if (box != nullptr && box->isVisible())
                    m_handle(box);
            }
        });
        m_timer.start();
    }
    void stop() { m_timer.stop(); }

private:
    std::function<void(MessageBox*)> m_handle;
    QTimer m_timer;
};

// An executable file at path (its folder made) holding text.
inline bool writeExecutable(const QString& path, const QByteArray& text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(text);
    file.close();
    return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

// A stand-in for a tool program at path: it writes its argument count and
// its arguments, one a line, into out (whole, once it is done).
inline bool writeRecordingTool(const QString& path, const QString& out)
{
    return writeExecutable(path, "#!/bin/sh\n{ echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done; } > '" + out.toUtf8()
                                     + ".tmp'\nmv '" + out.toUtf8() + ".tmp' '" + out.toUtf8() + "'\n");
}

inline QByteArray readWholeFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every message of the process while it lives.
class LogCapture {
public:
    LogCapture() { s_previous = qInstallMessageHandler(&LogCapture::handler); }
    ~LogCapture() { qInstallMessageHandler(s_previous); }
    static QStringList lines()
    {
        QMutexLocker lock(&mutex());
        return store();
    }
    static int count(const QString& text) { return lines().filter(text).size(); }

private:
    static QMutex& mutex()
    {
        static QMutex m;
        return m;
    }
    static QStringList& store()
    {
        static QStringList s;
        return s;
    }
    static void handler(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        QMutexLocker lock(&mutex());
        store().append(message);
    }
    static inline QtMessageHandler s_previous = nullptr;
};

// The account of the cloud tests.
inline const QString kUser = QStringLiteral("alicetester");
inline const QString kPassword = QStringLiteral("pw123456");
inline const QString kServerPassword = QStringLiteral("srvpass");
