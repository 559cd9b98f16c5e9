#include "platform/process/commandrunner.h"

#include "platform/fd/uniquefd.h"
#include "platform/process/childspawn.h"

#include <cerrno>
#include <csignal>
#include <ctime>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

long long nowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// After a kill the child goes at once; this only bounds a child stuck in the kernel.
constexpr int kReapAfterKillMs = 5000;
constexpr int kPollSliceMs = 50;
// Bounds the last read when something left behind keeps writing.
constexpr int kDrainReads = 1024;

} // namespace

CommandResult ProcessCommandRunner::run(const QString& program, const QStringList& arguments, int timeoutMs)
{
    CommandResult result;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return result;
    platform::UniqueFd readEnd(ends[0]);
    platform::UniqueFd writeEnd(ends[1]);

    ChildSpawn::Options options;
    options.stdoutFd = writeEnd.get();
    options.stderrFd = writeEnd.get();
    options.workingFolder = m_workingFolder;
    int error = 0;
    const pid_t pid = ChildSpawn::spawn(program, arguments, options, &error);
    // The child holds its own copy: the output ends when the child's does.
    writeEnd.reset();
    if (pid < 0)
        return result;
    result.started = true;

    const long long deadline = nowMs() + (timeoutMs < 0 ? 0 : timeoutMs);
    char buffer[4096];
    auto keep = [&](ssize_t n) {
        const int room = kMaxOutputBytes - result.output.size();
        if (room > 0)
            result.output.append(buffer, static_cast<int>(n < room ? n : room));
    };
    // Read until the output closes or the child has ended; something it left
    // running in the background may hold the output open, so the child's end
    // counts too.
    for (;;) {
        const long long left = deadline - nowMs();
        if (left <= 0)
            break;
        pollfd p{readEnd.get(), POLLIN, 0};
        const int r = poll(&p, 1, static_cast<int>(left < kPollSliceMs ? left : kPollSliceMs));
        if (r < 0 && errno != EINTR)
            break;
        if (r > 0) {
            const ssize_t n = read(readEnd.get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            keep(n);
            continue;
        }
        if (ChildSpawn::waitForExit(pid, 0)) {
            // Take what is already in the pipe, then stop reading.
            fcntl(readEnd.get(), F_SETFL, O_NONBLOCK);
            ssize_t n;
            for (int i = 0; i < kDrainReads && (n = read(readEnd.get(), buffer, sizeof buffer)) > 0; ++i)
                keep(n);
            break;
        }
    }
    readEnd.reset();

    // The output is closed; the child still has until the deadline to exit.
    const long long left = deadline - nowMs();
    if (!ChildSpawn::waitForExit(pid, left > 0 ? static_cast<int>(left) : 0)) {
        result.timedOut = true;
        kill(-pid, SIGKILL);
        kill(pid, SIGKILL);
    } else {
        // Whatever the child left behind in its group goes with it.
        kill(-pid, SIGKILL);
    }
    int status = 0;
    if (ChildSpawn::reap(pid, kReapAfterKillMs, &status) && !result.timedOut && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}
