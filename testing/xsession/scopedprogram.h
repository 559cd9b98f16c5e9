#pragma once

// A program that a test runs for a while: started with the environment
// given, asked to end (SIGTERM) when the guard goes, and killed when it has
// not ended within 10 s; also when a check fails half-way.

#include <QProcess>
#include <QString>
#include <QStringList>

namespace TestX {

class ScopedProgram {
public:
    ScopedProgram(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment);
    ~ScopedProgram();
    ScopedProgram(const ScopedProgram&) = delete;
    ScopedProgram& operator=(const ScopedProgram&) = delete;

    bool running() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }

private:
    QProcess m_process;
};

} // namespace TestX
