#include "testing/serialpair/ptypair.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace SerialTesting {

PtyPair::PtyPair()
{
    int slave = -1;
    char name[128] = {};
    if (openpty(&m_master, &slave, name, nullptr, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    // Without an open slave the master reads EIO; the keeper holds it open.
    m_slaveKeeper = slave;
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    fcntl(m_slaveKeeper, F_SETFD, FD_CLOEXEC);
    fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_slaveName = name;
}

PtyPair::~PtyPair()
{
    closeMaster();
}

void PtyPair::closeMaster()
{
    if (m_slaveKeeper >= 0)
        ::close(m_slaveKeeper);
    if (m_master >= 0)
        ::close(m_master);
    m_slaveKeeper = m_master = -1;
}

bool PtyPair::writeAll(const std::string& data)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(m_master, data.data() + done, data.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() > end)
            return false;
        pollfd p{m_master, POLLOUT, 0};
        poll(&p, 1, 10);
    }
    return true;
}

std::string PtyPair::readFor(size_t count, int timeoutMs)
{
    std::string out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buf[4096];
    while (out.size() < count) {
        const ssize_t n = ::read(m_master, buf, sizeof buf < count - out.size() ? sizeof buf : count - out.size());
        if (n > 0) {
            out.append(buf, static_cast<size_t>(n));
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= end)
            break;
        pollfd p{m_master, POLLIN, 0};
        poll(&p, 1, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count()) + 1);
    }
    return out;
}

} // namespace SerialTesting
