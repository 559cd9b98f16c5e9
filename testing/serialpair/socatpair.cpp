#include "testing/serialpair/socatpair.h"

#include "testing/main/eventwait.h"

#include <chrono>
#include <csignal>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace SerialTesting {

SocatPair::SocatPair(const std::string& folder, const std::string& first, const std::string& second)
    : m_folder(folder)
    , m_first(first)
    , m_second(second)
{
}

SocatPair::~SocatPair()
{
    kill();
}

bool SocatPair::start()
{
    kill();
    ::unlink(firstPath().c_str());
    ::unlink(secondPath().c_str());
    std::string a = "pty,raw,echo=0,link=" + firstPath();
    std::string b = "pty,raw,echo=0,link=" + secondPath();
    std::vector<char*> argv{const_cast<char*>("socat"), a.data(), b.data(), nullptr};
    if (posix_spawnp(&m_pid, "socat", nullptr, nullptr, argv.data(), environ) != 0) {
        m_pid = -1;
        return false;
    }
    struct stat st {};
    if (TestWait::waitUntil([&] { return stat(firstPath().c_str(), &st) == 0 && stat(secondPath().c_str(), &st) == 0; },
                            10000))
        return true;
    kill();
    return false;
}

void SocatPair::kill()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGKILL);
    int status = 0;
    waitpid(m_pid, &status, 0);
    m_pid = -1;
}

} // namespace SerialTesting
