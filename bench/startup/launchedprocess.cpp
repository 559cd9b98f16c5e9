#include "bench/startup/launchedprocess.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

namespace {

std::vector<char*> pointers(std::vector<std::string>& strings)
{
    std::vector<char*> list;
    for (std::string& s : strings)
        list.push_back(s.data());
    list.push_back(nullptr);
    return list;
}

} // namespace

LaunchedProcess::~LaunchedProcess()
{
    stop(2000);
}

bool LaunchedProcess::start(const std::string& program, const std::vector<std::string>& arguments,
                            const std::vector<std::string>& environment, const std::string& workFolder,
                            const std::string& outputPath, std::string* error)
{
    stop(2000);
    std::vector<std::string> argvStrings{program};
    argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envStrings = environment;
    std::vector<char*> argv = pointers(argvStrings);
    std::vector<char*> envp = pointers(envStrings);

    int failure[2];
    if (::pipe2(failure, O_CLOEXEC) != 0) {
        *error = std::strerror(errno);
        return false;
    }
    auto* stamp = static_cast<timespec*>(
        ::mmap(nullptr, sizeof(timespec), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    const int output = ::open(outputPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const int input = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (stamp == MAP_FAILED || output < 0 || input < 0) {
        *error = std::strerror(errno);
        ::close(failure[0]);
        ::close(failure[1]);
        if (stamp != MAP_FAILED)
            ::munmap(stamp, sizeof(timespec));
        if (output >= 0)
            ::close(output);
        if (input >= 0)
            ::close(input);
        return false;
    }

    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls from here: the parent has threads.
        ::setpgid(0, 0);
        // Ends with the bench, however the bench ends.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::dup2(input, 0);
        ::dup2(output, 1);
        ::dup2(output, 2);
        ::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
        if (!workFolder.empty() && ::chdir(workFolder.c_str()) != 0) {
            const int code = errno;
            (void)!::write(failure[1], &code, sizeof code);
            ::_exit(127);
        }
        ::clock_gettime(CLOCK_MONOTONIC, stamp);
        ::execve(program.c_str(), argv.data(), envp.data());
        const int code = errno;
        (void)!::write(failure[1], &code, sizeof code);
        ::_exit(127);
    }
    ::close(failure[1]);
    ::close(output);
    ::close(input);
    if (pid < 0) {
        *error = std::strerror(errno);
        ::close(failure[0]);
        ::munmap(stamp, sizeof(timespec));
        return false;
    }
    ::setpgid(pid, pid);
    m_pid = pid;
    m_reaped = false;

    // The pipe closes on a successful exec; a failed one writes its errno.
    int code = 0;
    ssize_t got;
    do
        got = ::read(failure[0], &code, sizeof code);
    while (got < 0 && errno == EINTR);
    ::close(failure[0]);
    m_execAt = Clock::time_point(std::chrono::seconds(stamp->tv_sec) + std::chrono::nanoseconds(stamp->tv_nsec));
    ::munmap(stamp, sizeof(timespec));
    if (got == static_cast<ssize_t>(sizeof code)) {
        *error = program + ": " + std::strerror(code);
        reapWithin(5000);
        return false;
    }
    return true;
}

long LaunchedProcess::residentKiB() const
{
    if (m_reaped)
        return -1;
    std::ifstream status("/proc/" + std::to_string(m_pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

double LaunchedProcess::cpuMs() const
{
    if (m_reaped)
        return -1;
    std::ifstream file("/proc/" + std::to_string(m_pid) + "/stat");
    std::string stat;
    std::getline(file, stat);
    // The fields after the command's closing parenthesis, from the state on:
    // utime, stime, cutime and cstime are the 12th to 15th of them.
    const size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    long long ticks = 0;
    for (int i = 1; i <= 15 && fields >> field; ++i)
        if (i >= 12)
            ticks += std::atoll(field.c_str());
    return ticks * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

bool LaunchedProcess::running()
{
    if (m_reaped)
        return false;
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(m_pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return false;
    return info.si_pid == 0;
}

bool LaunchedProcess::reapWithin(int ms)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int status = 0;
        const pid_t got = ::waitpid(m_pid, &status, WNOHANG);
        if (got == m_pid || (got < 0 && errno == ECHILD)) {
            m_reaped = true;
            return true;
        }
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool LaunchedProcess::stop(int graceMs)
{
    if (m_reaped)
        return true;
    ::kill(m_pid, SIGTERM);
    // Waits without reaping, so the group id stays ours while the rest of
    // the group (helpers the program started) is ended.
    bool ended = false;
    const auto deadline = Clock::now() + std::chrono::milliseconds(graceMs);
    while (!(ended = !running()) && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::kill(-m_pid, SIGKILL);
    reapWithin(10000);
    return ended;
}
