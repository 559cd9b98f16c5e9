#pragma once

// The program's log lines (the Qt message stream), from every thread, with
// the time each was written, while a capture lives.
//
//   TestLog::LogCapture log;
//   ...
//   EXPECT_TRUE(log.contains("version read failed!")) << log.all();

#include <QElapsedTimer>
#include <QList>
#include <QMutex>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <string>

namespace TestLog {

class LogCapture {
public:
    LogCapture()
    {
        Lines& lines = shared();
        QMutexLocker locker(&lines.mutex);
        lines.lines.clear();
        lines.clock.start();
        m_previous = qInstallMessageHandler(&LogCapture::handle);
    }
    ~LogCapture() { qInstallMessageHandler(m_previous); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    bool contains(const QString& text) const { return timeOf(text) >= 0; }
    // When the first line holding text at or after the time `after` was
    // written (ms since the capture began); -1 for none.
    qint64 timeOf(const QString& text, qint64 after = 0) const
    {
        const Lines& lines = shared();
        QMutexLocker locker(&lines.mutex);
        for (const auto& line : lines.lines)
            if (line.first >= after && line.second.contains(text))
                return line.first;
        return -1;
    }
    std::string all() const
    {
        const Lines& lines = shared();
        QMutexLocker locker(&lines.mutex);
        QStringList texts;
        for (const auto& line : lines.lines)
            texts << QString::number(line.first) + QLatin1Char(' ') + line.second;
        return texts.join('\n').toStdString();
    }

private:
    struct Lines {
        mutable QMutex mutex;
        QElapsedTimer clock;
        QList<QPair<qint64, QString>> lines;
    };

    // Never destroyed: a thread that a test left running (a worker given up
    // on) may still write a line while the program ends, after its statics
    // are gone.
    static Lines& shared()
    {
        static Lines* const lines = new Lines;
        return *lines;
    }

    static void handle(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        Lines& lines = shared();
        QMutexLocker locker(&lines.mutex);
        lines.lines.append({lines.clock.elapsed(), message});
    }

    QtMessageHandler m_previous = nullptr;
};

} // namespace TestLog
