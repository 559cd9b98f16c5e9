#pragma once

// Shared by the cloud tests: texts from UTF-8 literals, waiting with a
// running event loop, and capturing the debug lines that the cloud client
// writes.

#include "testing/main/eventwait.h"

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>

// A text from a UTF-8 literal (the service's Chinese messages).
inline QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

using TestWait::waitUntil;

// Runs the event loop for `ms` milliseconds.
inline void spin(int ms)
{
    waitUntil([] { return false; }, ms);
}

// Collects every Qt message while it lives; the outermost capture starts
// with an empty record.
class LogCapture {
public:
    LogCapture()
    {
        QMutexLocker lock(&mutex());
        if (depth()++ == 0)
            store().clear();
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        QMutexLocker lock(&mutex());
        --depth();
    }

    static QStringList lines()
    {
        QMutexLocker lock(&mutex());
        return store();
    }

    static QString all() { return lines().join(QLatin1Char('\n')); }

    static bool contains(const QString& text) { return all().contains(text); }

private:
    static void handler(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        QMutexLocker lock(&mutex());
        store().append(message);
    }
    static QMutex& mutex()
    {
        static QMutex m;
        return m;
    }
    static int& depth()
    {
        static int value = 0;
        return value;
    }
    static QStringList& store()
    {
        static QStringList lines;
        return lines;
    }

    QtMessageHandler m_previous = nullptr;
};
