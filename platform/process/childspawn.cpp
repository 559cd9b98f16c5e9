#include "platform/process/childspawn.h"

#include "platform/fd/uniquefd.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace ChildSpawn {

namespace {

long long nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void sleepMs(int ms)
{
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    nanosleep(&ts, nullptr);
}

// Runs in the child between fork and exec: only async-signal-safe calls.
[[noreturn]] void childSide(const char* path, char* const* argv, const char* folder, int nullFd, int outFd, int errFd,
                            int reportFd, pid_t parent)
{
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) // the parent died before the death signal was armed
        _exit(127);

    struct sigaction dfl;
    std::memset(&dfl, 0, sizeof dfl);
    dfl.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) {
        if (sig != SIGKILL && sig != SIGSTOP)
            sigaction(sig, &dfl, nullptr);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);

    if (dup2(nullFd, 0) < 0 || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0 || (folder && chdir(folder) != 0)) {
        int e = errno;
        (void)!write(reportFd, &e, sizeof e);
        _exit(127);
    }
    // Everything above 2 closes at exec, the report pipe among it.
    if (syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        for (int fd = 3; fd < 65536; ++fd) {
            if (fd != reportFd)
                close(fd);
        }
    }
    execv(path, argv);
    int e = errno;
    (void)!write(reportFd, &e, sizeof e);
    _exit(127);
}

} // namespace

pid_t spawn(const QString& program, const QStringList& arguments, const Options& options, int* error)
{
    int dummy = 0;
    int& err = error ? *error : dummy;
    err = 0;
    if (program.isEmpty()) {
        err = ENOENT;
        return -1;
    }

    // Everything the child needs is made before the fork: it may not allocate.
    const std::string path = program.toLocal8Bit().toStdString();
    std::vector<std::string> items;
    items.reserve(static_cast<size_t>(arguments.size()) + 1);
    items.push_back(path);
    for (const QString& a : arguments)
        items.push_back(a.toLocal8Bit().toStdString());
    std::vector<char*> argv;
    for (std::string& s : items)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    const std::string folder = options.workingFolder.toLocal8Bit().toStdString();

    platform::UniqueFd nullFd(open("/dev/null", O_RDWR | O_CLOEXEC));
    if (!nullFd) {
        err = errno;
        return -1;
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        err = errno;
        return -1;
    }
    platform::UniqueFd reportRead(ends[0]);
    platform::UniqueFd reportWrite(ends[1]);
    const int outFd = options.stdoutFd >= 0 ? options.stdoutFd : nullFd.get();
    const int errFd = options.stderrFd >= 0 ? options.stderrFd : nullFd.get();
    const pid_t parent = getpid();

    // The child leaves through exec or _exit: no destructor of these owners
    // runs there.
    const pid_t pid = fork();
    if (pid == 0)
        childSide(path.c_str(), argv.data(), folder.empty() ? nullptr : folder.c_str(), nullFd.get(), outFd, errFd,
                  reportWrite.get(), parent);
    const int forkErrno = errno;
    // Only the child's copy of the write end may stay open, so that its exec
    // ends the read below.
    reportWrite.reset();
    nullFd.reset();
    if (pid < 0) {
        err = forkErrno;
        return -1;
    }
    // Also set from here, so that the group exists before anyone signals it.
    setpgid(pid, pid);

    int childErrno = 0;
    ssize_t n;
    do {
        n = read(reportRead.get(), &childErrno, sizeof childErrno);
    } while (n < 0 && errno == EINTR);
    reportRead.reset();
    if (n == static_cast<ssize_t>(sizeof childErrno)) {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        err = childErrno ? childErrno : ECHILD;
        return -1;
    }
    return pid;
}

bool waitForExit(pid_t pid, int timeoutMs, int* status)
{
    const long long deadline = nowMs() + timeoutMs;
    for (;;) {
        siginfo_t info;
        std::memset(&info, 0, sizeof info);
        const int r = waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
        if (r == 0 && info.si_pid == pid) {
            if (status) {
                *status = info.si_code == CLD_EXITED
                              ? (info.si_status & 0xff) << 8
                              : (info.si_status & 0x7f) | (info.si_code == CLD_DUMPED ? 0x80 : 0);
            }
            return true;
        }
        if (r < 0 && errno != EINTR)
            return true; // not our child any more: nothing left to wait for
        if (nowMs() >= deadline)
            return false;
        sleepMs(5);
    }
}

bool reap(pid_t pid, int timeoutMs, int* status)
{
    const long long deadline = nowMs() + timeoutMs;
    for (;;) {
        int st = 0;
        const pid_t r = waitpid(pid, &st, WNOHANG);
        if (r == pid) {
            if (status)
                *status = st;
            return true;
        }
        if (r < 0 && errno != EINTR)
            return false;
        if (nowMs() >= deadline)
            return false;
        sleepMs(5);
    }
}

} // namespace ChildSpawn
