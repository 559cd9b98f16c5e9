#include "tarnwick/core/logger.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/core/filetool.h"

#include <QDateTime>
#include <QFileInfo>

#include <atomic>
#include <cstdio>

namespace {

// Set while this thread is inside the logger; messages raised from there
// (FileTool reports failures with qDebug) must not enter it again.
thread_local bool t_busy = false;
// Set once the program's logger is gone (static destruction at exit).
std::atomic<bool> s_instanceGone{false};

class BusyScope {
public:
    BusyScope()
        : m_was(t_busy)
    {
        t_busy = true;
    }
    ~BusyScope() { t_busy = m_was; }

private:
    bool m_was;
};

} // namespace

Logger* Logger::instance()
{
    static struct Instance {
        Logger logger{Tarnwick::Constants::kLogFile};
        ~Instance() { s_instanceGone = true; }
    } instance;
    return &instance.logger;
}

Logger::Logger(const QString& path)
    : m_path(path)
    , m_limit(static_cast<int>(Tarnwick::Constants::kLogMaxBytes))
    , m_mutex(std::make_unique<QRecursiveMutex>())
{
}

Logger::~Logger()
{
    flush();
}

void Logger::append(QtMsgType, const QMessageLogContext&, const QString& text)
{
    if (t_busy || s_instanceGone) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return;
    }
    instance()->appendLine(text);
}

bool Logger::exportLog(const QString& dst)
{
    return instance()->exportTo(dst);
}

void Logger::appendLine(const QString& text)
{
    QMutexLocker lock(m_mutex.get());
    const bool nested = t_busy;
    BusyScope busy;
    // The stamp changes once a second; formatting the local time for every
    // line would cost more than the line itself.
    const qint64 second = QDateTime::currentMSecsSinceEpoch() / 1000;
    if (second != m_stampSecond) {
        m_stampSecond = second;
        m_stamp = QDateTime::fromSecsSinceEpoch(second).toString(QStringLiteral("[yyyy/MM/dd hh:mm:ss] "));
    }
    m_buffer += m_stamp;
    m_buffer += text;
    m_buffer += QLatin1String("\r\n");
    if (!nested && m_buffer.size() >= m_limit) {
        writeOver(m_buffer.right(m_limit));
        m_buffer.clear();
    }
}

void Logger::flush()
{
    QMutexLocker lock(m_mutex.get());
    BusyScope busy;
    flushLocked();
}

void Logger::flushLocked()
{
    if (m_buffer.isEmpty())
        return;
    if (m_buffer.size() < m_limit) {
        const QFileInfo info(m_path);
        const qint64 size = info.exists() ? info.size() : 0;
        if (size + m_buffer.size() > m_limit) {
            QString text;
            FileTool::readFile(m_path, m_limit - m_buffer.size(), false, text);
            text += m_buffer;
            m_buffer.clear();
            writeOver(text);
        } else {
            FileTool::writeFile(m_path, m_buffer, true);
        }
    } else {
        writeOver(m_buffer.right(m_limit));
    }
    m_buffer.clear();
}

void Logger::writeOver(const QString& text)
{
    FileTool::writeFile(m_path, text, false);
}

void Logger::setLimit(int limit)
{
    QMutexLocker lock(m_mutex.get());
    m_limit = limit;
}

bool Logger::exportTo(const QString& dst)
{
    QMutexLocker lock(m_mutex.get());
    BusyScope busy;
    flushLocked();
    return FileTool::copyFile(m_path, dst);
}
