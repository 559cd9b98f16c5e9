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
        QMutexLocker locker(&s_mutex);
        s_lines.clear();
        s_clock.start();
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
        QMutexLocker locker(&s_mutex);
        for (const auto& line : s_lines)
            if (line.first >= after && line.second.contains(text))
                return line.first;
        return -1;
    }
    std::string all() const
    {
        QMutexLocker locker(&s_mutex);
        QStringList lines;
        for (const auto& line : s_lines)
            lines << QString::number(line.first) + QLatin1Char(' ') + line.second;
        return lines.join('\n').toStdString();
    }

private:
    static void handle(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        QMutexLocker locker(&s_mutex);
        s_lines.append({s_clock.elapsed(), message});
    }

    QtMessageHandler m_previous = nullptr;
    static inline QMutex s_mutex;
    static inline QElapsedTimer s_clock;
    static inline QList<QPair<qint64, QString>> s_lines;
};

} // namespace TestLog
