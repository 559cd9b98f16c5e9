#include "testing/loopbackresolver/loopbackresolver.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sched.h>
#include <string>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Testing {

std::string loopbackNameServer()
{
    // One address per process, so tests running side by side never hear
    // each other's silent name server.
    const unsigned pid = static_cast<unsigned>(::getpid());
    return "127.254." + std::to_string((pid / 254) % 256) + "." + std::to_string(pid % 254 + 1);
}

namespace {

bool fail(std::string* why, const char* what)
{
    if (why != nullptr)
        *why = std::string(what) + ": " + std::strerror(errno);
    return false;
}

} // namespace

bool useLoopbackResolver(std::string* why)
{
    static bool done = false;
    if (done)
        return true;

    char folder[] = "/tmp/tw-resolv-XXXXXX";
    if (::mkdtemp(folder) == nullptr)
        return fail(why, "mkdtemp");
    const std::string conf = std::string(folder) + "/resolv.conf";
    const int fd = ::open(conf.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return fail(why, "cannot write resolv.conf");
    const std::string text = "nameserver " + loopbackNameServer() + "\noptions timeout:3 attempts:1\n";
    const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
    ::close(fd);
    if (!written)
        return fail(why, "cannot write resolv.conf");

    if (::unshare(CLONE_NEWNS) != 0)
        return fail(why, "unshare(CLONE_NEWNS) failed (needs root, single-threaded)");
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return fail(why, "cannot make the mounts private");
    if (::mount(conf.c_str(), "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0)
        return fail(why, "cannot bind a resolv.conf of its own");
    // The bind keeps the file alive; the folder goes now.
    ::unlink(conf.c_str());
    ::rmdir(folder);
    done = true;
    return true;
}

SilentNameServer::SilentNameServer()
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return;
    const int on = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(53);
    ::inet_pton(AF_INET, loopbackNameServer().c_str(), &address.sin_addr);
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

SilentNameServer::~SilentNameServer()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

} // namespace Testing
