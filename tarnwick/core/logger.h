#pragma once

// The main program's log: lines collected in memory, each prefixed with the
// local time, and the file "data/log.txt" kept near a size bound.

#include <QMutex>
#include <QString>

#include <memory>

class Logger {
public:
    static Logger* instance();

    // Shaped like a Qt message handler; type and context are not used. A
    // message raised while the logger itself is at work on this thread (a
    // failing write that logs) goes to stderr instead of back into the log.
    static void append(QtMsgType type, const QMessageLogContext& context, const QString& text);
    // Flushes, then copies the log file to dst.
    static bool exportLog(const QString& dst);

    // A logger of its own file, for the program's instance and for tests.
    explicit Logger(const QString& path);
    ~Logger(); // flushes

    void appendLine(const QString& text);
    void flush();
    void setLimit(int limit);
    bool exportTo(const QString& dst);
    QString path() const { return m_path; }

private:
    void flushLocked();
    void writeOver(const QString& text);

    QString m_path;
    QString m_buffer;
    int m_limit;
    qint64 m_stampSecond = -1; // the second m_stamp was made for
    QString m_stamp;
    std::unique_ptr<QRecursiveMutex> m_mutex;
};
