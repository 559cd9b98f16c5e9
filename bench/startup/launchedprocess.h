#pragma once

// One run of a measured program: started with fork and execve, with the
// argument list and environment given (nothing inherited but the processor
// set), its output into a file, heading a process group of its own. The
// moment of the exec is taken in the child right before execve, so the
// measured time holds no fork or scheduling of ours.

#include <chrono>
#include <string>
#include <vector>

#include <sys/types.h>

class LaunchedProcess {
public:
    using Clock = std::chrono::steady_clock;

    LaunchedProcess() = default;
    ~LaunchedProcess();
    LaunchedProcess(const LaunchedProcess&) = delete;
    LaunchedProcess& operator=(const LaunchedProcess&) = delete;

    // False with *error set when the program could not be executed.
    bool start(const std::string& program, const std::vector<std::string>& arguments,
               const std::vector<std::string>& environment, const std::string& workFolder,
               const std::string& outputPath, std::string* error);

    pid_t pid() const { return m_pid; }
    Clock::time_point execAt() const { return m_execAt; }
    // VmRSS of the process in KiB, or -1 when it has ended.
    long residentKiB() const;
    // Processor time of the process so far, user and system, its ended
    // threads and the children it has waited for included (10 ms steps), or
    // -1 when it has ended.
    double cpuMs() const;
    // True while the process has not ended.
    bool running();
    // SIGTERM, then SIGKILL to its group after graceMs; reaps it. True when it
    // ended within graceMs on its own or on the SIGTERM.
    bool stop(int graceMs);

private:
    bool reapWithin(int ms);

    pid_t m_pid = -1;
    bool m_reaped = true;
    Clock::time_point m_execAt;
};
