#include "testing/vcomharness/setupcharness.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace VcomTesting {

namespace {

constexpr const char* kUnset = "\1";

} // namespace

SetupcHarness::SetupcHarness()
{
    for (const auto& [name, value] : {std::pair<const char*, std::string>{"TW_VCOM_STATE_DIR", m_state.path()},
                                      std::pair<const char*, std::string>{"TW_TTY_CLASS_DIR", m_ttys.path()}}) {
        const char* old = std::getenv(name);
        m_saved.emplace_back(name, old ? old : kUnset);
        setenv(name, value.c_str(), 1);
    }
}

SetupcHarness::~SetupcHarness()
{
    const int pid = daemonPid();
    run({"--silent", "uninstall"}, 5000);
    if (pid > 0 && processAlive(pid))
        kill(pid, SIGKILL);
    for (const auto& [name, value] : m_saved) {
        if (value == kUnset)
            unsetenv(name.c_str());
        else
            setenv(name.c_str(), value.c_str(), 1);
    }
}

std::string SetupcHarness::toolPath()
{
    return TW_SETUPC_PATH;
}

std::string SetupcHarness::toolFolder()
{
    const std::string path = toolPath();
    return path.substr(0, path.rfind('/'));
}

ToolResult SetupcHarness::run(const std::vector<std::string>& args, int timeoutMs) const
{
    ToolResult result;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    std::string program = toolPath();
    std::vector<std::string> words = args;
    std::vector<char*> argv{program.data()};
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return result;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    bool timedOut = false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{pipeFds[0], POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = read(pipeFds[0], buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        result.output.append(buf, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    if (timedOut)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
    if (!timedOut && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}

bool SetupcHarness::installPair(const std::string& own, const std::string& user) const
{
    return run({"preinstall"}).exitCode == 0
           && run({"--silent", "install", "PortName=" + own + ",EmuOverrun=yes,HiddenMode=yes",
                   "PortName=COM#,EmuOverrun=yes,cts=lrts,dsr=lrts,AddRTTO=2000,AddRITO=400"})
                      .exitCode
                  == 0
           && run({"update"}).exitCode == 0 && run({"change", "CNCB0", "RealPortName=" + user}).exitCode == 0;
}

int SetupcHarness::daemonPid() const
{
    const int fd = open((m_state / "daemon.pid").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    char buf[32] = {};
    const ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    const int pid = n > 0 ? std::atoi(buf) : -1;
    return pid > 1 ? pid : -1;
}

bool SetupcHarness::processAlive(int pid)
{
    if (pid <= 1)
        return false;
    const int fd = open(("/proc/" + std::to_string(pid) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buf[512] = {};
    const ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    const std::string stat(buf, n > 0 ? static_cast<size_t>(n) : 0);
    const size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

} // namespace VcomTesting
