#include "platform/process/recordingcommandrunner.h"

#include <QMutexLocker>

RecordingCommandRunner::RecordingCommandRunner()
    : m_default(exitResult(0))
{
}

CommandResult RecordingCommandRunner::run(const QString& program, const QStringList& arguments, int timeoutMs)
{
    RecordedCommand call{program, arguments, timeoutMs};
    Responder responder;
    {
        QMutexLocker lock(&m_mutex);
        m_calls.append(call);
        responder = m_responder;
        if (!responder) {
            if (!m_queue.isEmpty())
                return m_queue.takeFirst();
            return m_default;
        }
    }
    return responder(call);
}

void RecordingCommandRunner::setDefaultResult(const CommandResult& result)
{
    QMutexLocker lock(&m_mutex);
    m_default = result;
}

void RecordingCommandRunner::queueResult(const CommandResult& result)
{
    QMutexLocker lock(&m_mutex);
    m_queue.append(result);
}

void RecordingCommandRunner::setResponder(Responder responder)
{
    QMutexLocker lock(&m_mutex);
    m_responder = std::move(responder);
}

QList<RecordedCommand> RecordingCommandRunner::calls() const
{
    QMutexLocker lock(&m_mutex);
    return m_calls;
}

QStringList RecordingCommandRunner::argumentLines() const
{
    QMutexLocker lock(&m_mutex);
    QStringList lines;
    for (const RecordedCommand& c : m_calls)
        lines.append(c.arguments.join(QLatin1Char(' ')));
    return lines;
}

int RecordingCommandRunner::callCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_calls.size();
}

void RecordingCommandRunner::clear()
{
    QMutexLocker lock(&m_mutex);
    m_calls.clear();
    m_queue.clear();
}

CommandResult RecordingCommandRunner::exitResult(int exitCode, const QByteArray& output)
{
    CommandResult r;
    r.started = true;
    r.exitCode = exitCode;
    r.output = output;
    return r;
}
