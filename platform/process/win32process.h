#pragma once

// The supervised child of the main program (it runs openvpn): started with
// its argument list as it is, in a process group of its own, with its
// standard input on /dev/null and its output and errors kept as their last
// lines (OutputTail), and killed by the system when the main program dies.
// stop() asks the group to end with SIGINT, gives it kStopGraceMs, then
// kills the whole group, so nothing the child started outlives the stop, and
// reaps the child. The class keeps the program's historical name; this is
// its POSIX form.

#include "platform/process/outputtail.h"

#include <QByteArray>
#include <QList>
#include <QRecursiveMutex>
#include <QString>
#include <QStringList>

#include <sys/types.h>

class Win32Process {
public:
    static constexpr int kStopGraceMs = 3000;

    Win32Process() = default;
    ~Win32Process(); // stop()
    Win32Process(const Win32Process&) = delete;
    Win32Process& operator=(const Win32Process&) = delete;

    // True when the child runs; false when one already runs or it cannot be
    // executed (missing program, no permission). Call it from a thread that
    // lives as long as the child may (the child dies with that thread).
    bool start(const QString& program, const QStringList& arguments);
    // Ends the child and its group and reaps it; nothing when none was started.
    void stop();

    // A child was started and not yet stopped (it may have exited on its own).
    bool running() const;
    // The child's pid while running, else -1.
    pid_t pid() const;
    // The child was started and has ended by itself meanwhile; *status (when
    // given) is then its status in the form waitpid() gives it.
    bool hasExited(int* status = nullptr) const;
    // The last lines the child wrote (of the last child, also after stop()).
    QList<QByteArray> lastOutput();

private:
    mutable QRecursiveMutex m_lock;
    OutputTail m_output;
    bool m_running = false;
    pid_t m_pid = -1;
};
