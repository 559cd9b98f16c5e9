#pragma once

// Starting a child program without a shell: the argument list goes to the
// program as it is, the child heads a process group of its own (so that a
// signal to the group reaches whatever it starts), its signal dispositions and
// mask are reset, no descriptor of ours leaks into it, and it is killed when
// the thread that started it ends (so when the program dies). A failed exec is
// reported to the caller with its errno.
//
// The death signal follows the starting thread, not the process: start long-
// lived children from a thread that lives as long as they should (the GUI thread).

#include <QString>
#include <QStringList>

#include <sys/types.h>

namespace ChildSpawn {

struct Options {
    int stdoutFd = -1;     // -1: /dev/null
    int stderrFd = -1;     // -1: /dev/null
    QString workingFolder; // empty: ours; one that cannot be entered fails the start
};

// The child's pid, or -1 with *error set (the errno of the failed step,
// ENOENT for a missing program).
pid_t spawn(const QString& program, const QStringList& arguments, const Options& options, int* error);

// Waits up to timeoutMs for the child to end without reaping it (the zombie
// keeps the process group id from being reused); true when it has ended,
// with *status (when given) in the form waitpid() gives it.
bool waitForExit(pid_t pid, int timeoutMs, int* status = nullptr);

// Reaps the child, waiting up to timeoutMs; true with *status filled when reaped.
bool reap(pid_t pid, int timeoutMs, int* status);

} // namespace ChildSpawn
