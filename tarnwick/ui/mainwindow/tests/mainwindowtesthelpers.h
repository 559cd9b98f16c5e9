#pragma once

// Shared pieces of the main window tests: waiting with events running, a
// capture of every log line, and a cloud service fake with one account.

#include "testing/fakecloud/fakecloud.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QStringList>
#include <QThread>

#include <functional>

inline bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

// Also runs the deletions that deleteLater() asked for.
inline void spin(int ms)
{
    waitUntil([] { return false; }, ms);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A stand-in for a tool program at path: it writes its argument count and
// its arguments, one a line, into out (whole, once it is done).
inline bool writeRecordingTool(const QString& path, const QString& out)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write("#!/bin/sh\n{ echo \"$#\"; for a in \"$@\"; do echo \"$a\"; done; } > '" + out.toUtf8()
               + ".tmp'\nmv '" + out.toUtf8() + ".tmp' '" + out.toUtf8() + "'\n");
    file.close();
    return file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

inline QByteArray readWholeFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every message of the process while it lives.
class LogCapture
{
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
