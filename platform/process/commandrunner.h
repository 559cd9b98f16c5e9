#pragma once

// Running an outside program to its end: the program and its argument list
// go to the system as they are (never through a shell), the run is bounded by
// a time limit after which the child is killed (whatever it started in its
// process group is killed when it ends, or with it at the limit), and
// the caller learns whether it started, how it ended and what it printed.

#include <QByteArray>
#include <QString>
#include <QStringList>

struct CommandResult {
    bool started = false;  // the program could be executed
    bool timedOut = false; // killed at the time limit
    int exitCode = -1;     // the exit status; -1 when killed by a signal or not started
    QByteArray output;     // standard output and error together, at most kMaxOutputBytes

    // Started, ended on its own and exited with 0.
    bool succeeded() const { return started && !timedOut && exitCode == 0; }
};

class CommandRunner {
public:
    static constexpr int kMaxOutputBytes = 1 << 20; // further output is read and dropped

    virtual ~CommandRunner() = default;
    virtual CommandResult run(const QString& program, const QStringList& arguments, int timeoutMs) = 0;
};

// Runs programs as child processes of this one.
class ProcessCommandRunner : public CommandRunner {
public:
    // The children run in `workingFolder`; empty: in ours.
    explicit ProcessCommandRunner(const QString& workingFolder = {})
        : m_workingFolder(workingFolder)
    {
    }

    CommandResult run(const QString& program, const QStringList& arguments, int timeoutMs) override;

private:
    QString m_workingFolder;
};
