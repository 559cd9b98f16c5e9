#pragma once

// A command runner for tests: it runs nothing, records every call and answers
// with scripted results (first the queued ones in order, then the default).

#include "platform/process/commandrunner.h"

#include <QList>
#include <QMutex>

#include <functional>

struct RecordedCommand {
    QString program;
    QStringList arguments;
    int timeoutMs = 0;
};

class RecordingCommandRunner : public CommandRunner {
public:
    using Responder = std::function<CommandResult(const RecordedCommand&)>;

    RecordingCommandRunner();

    CommandResult run(const QString& program, const QStringList& arguments, int timeoutMs) override;

    // The answer of every call once the queue is empty (at first: started, exit 0, no output).
    void setDefaultResult(const CommandResult& result);
    // Answers the next call with this result.
    void queueResult(const CommandResult& result);
    // Decides each answer from the call (takes precedence over queue and default).
    void setResponder(Responder responder);

    QList<RecordedCommand> calls() const;
    // Each call as one text: the arguments joined by blanks, without the program.
    QStringList argumentLines() const;
    int callCount() const;
    void clear();

    static CommandResult exitResult(int exitCode, const QByteArray& output = QByteArray());

private:
    mutable QMutex m_mutex;
    QList<RecordedCommand> m_calls;
    QList<CommandResult> m_queue;
    CommandResult m_default;
    Responder m_responder;
};
