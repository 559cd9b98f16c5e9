#include "platform/vcom/pairdaemon.h"

#include "platform/fd/privatefile.h"
#include "platform/serial/serialownend.h"
#include "platform/vcom/vcomconstants.h"
#include "platform/vcom/vcomfolders.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace Vcom {

namespace {

long long nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool sendText(int fd, const std::string& text, int passFd = -1)
{
    iovec iov{const_cast<char*>(text.data()), text.size()};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (passFd >= 0) {
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        cmsghdr* c = CMSG_FIRSTHDR(&msg);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &passFd, sizeof(int));
    }
    ssize_t n;
    do {
        n = sendmsg(fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(text.size());
}

std::string readLinkText(const std::string& path)
{
    char buf[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

} // namespace

PairDaemon::PairDaemon(std::string comFolder, std::string stateFolder)
    : m_comFolder(std::move(comFolder))
    , m_stateFolder(std::move(stateFolder))
{
}

PairDaemon::~PairDaemon()
{
    removeEntries();
}

bool PairDaemon::setUp(const PairConfig& config)
{
    m_config = config;
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    signal(SIGPIPE, SIG_IGN);
    m_signals.reset(signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));

    m_master.reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    char name[128] = {};
    if (!m_signals || !m_master || grantpt(m_master.get()) != 0 || unlockpt(m_master.get()) != 0
        || ptsname_r(m_master.get(), name, sizeof name) != 0)
        return false;
    m_slavePath = name;
    // The user's end starts as a raw 9600 8N1 line; the master's termios calls reach it.
    termios t{};
    if (tcgetattr(m_master.get(), &t) == 0) {
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        cfsetispeed(&t, B9600);
        cfsetospeed(&t, B9600);
        tcsetattr(m_master.get(), TCSANOW, &t);
    }
    // Once opened and closed, the slave shows its closed state as a hang-up on
    // the master; a slave never opened would look open.
    clearUserInput();

    m_ownEntry = m_comFolder + "/" + m_config.ownName();
    sockaddr_un addr{};
    const std::string temp = m_comFolder + "/." + m_config.ownName() + "." + std::to_string(getpid());
    if (m_ownEntry.size() >= sizeof addr.sun_path || temp.size() >= sizeof addr.sun_path)
        return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, temp.c_str(), temp.size() + 1);
    m_listener.reset(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    unlink(temp.c_str());
    if (!m_listener || bind(m_listener.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0
        || listen(m_listener.get(), kMaxClients) != 0 || rename(temp.c_str(), m_ownEntry.c_str()) != 0) {
        unlink(temp.c_str());
        m_ownEntry.clear();
        return false;
    }
    struct stat entry {};
    if (lstat(m_ownEntry.c_str(), &entry) != 0)
        return false;
    m_ownInode = entry.st_ino;
    if (!m_config.userName().empty() && !linkUserEnd(m_config.userName()))
        return false;
    return platform::writePrivateFile(m_stateFolder + "/" + kPidFile, std::to_string(getpid()) + "\n");
}

bool PairDaemon::linkUserEnd(const std::string& name)
{
    const std::string entry = m_comFolder + "/" + name;
    if (entry == m_userEntry)
        return true;
    const std::string temp = m_comFolder + "/." + name + "." + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(m_slavePath.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), entry.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    if (!m_userEntry.empty() && readLinkText(m_userEntry) == m_slavePath)
        unlink(m_userEntry.c_str());
    m_userEntry = entry;
    return true;
}

void PairDaemon::reload()
{
    std::string text;
    PairConfig config;
    if (!readSmallFile(m_stateFolder + "/" + kConfigFile, &text) || !config.parse(text)
        || config.ownName() != m_config.ownName())
        return;
    m_config = config;
    if (!m_config.userName().empty())
        linkUserEnd(m_config.userName());
}

void PairDaemon::removeEntries()
{
    struct stat there {};
    // Only our own socket: a newer daemon may have taken the name.
    if (!m_ownEntry.empty() && lstat(m_ownEntry.c_str(), &there) == 0 && S_ISSOCK(there.st_mode)
        && there.st_ino == m_ownInode)
        unlink(m_ownEntry.c_str());
    m_ownEntry.clear();
    if (!m_userEntry.empty() && readLinkText(m_userEntry) == m_slavePath)
        unlink(m_userEntry.c_str());
    m_userEntry.clear();
    const std::string pidFile = m_stateFolder + "/" + kPidFile;
    std::string pid;
    if (readSmallFile(pidFile, &pid) && std::atoi(pid.c_str()) == getpid())
        unlink(pidFile.c_str());
}

bool PairDaemon::userOpen() const
{
    pollfd p{m_master.get(), POLLIN | POLLOUT, 0};
    return poll(&p, 1, 0) >= 0 && !(p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

void PairDaemon::clearUserInput()
{
    // What the own end sent and the user never read must not greet the next opener.
    const platform::UniqueFd peer(ioctl(m_master.get(), TIOCGPTPEER, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (peer)
        tcflush(peer.get(), TCIFLUSH);
}

void PairDaemon::dropHeld()
{
    m_holder.reset();
}

void PairDaemon::serveClient(Client& client)
{
    char buf[Serial::kOwnEndAnswerLimit];
    const ssize_t n = recv(client.fd.get(), buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return;
    if (n <= 0) {
        client.fd.reset();
        return;
    }
    client.line.append(buf, static_cast<size_t>(n));
    const size_t end = client.line.find('\n');
    if (end == std::string::npos) {
        if (client.line.size() >= static_cast<size_t>(Serial::kOwnEndAnswerLimit))
            client.fd.reset();
        return;
    }
    const std::string request = client.line.substr(0, end + 1);
    if (request == Serial::kOwnEndOpenRequest) {
        if (m_holder) {
            sendText(client.fd.get(), Serial::kOwnEndBusy);
        } else if (sendText(client.fd.get(), Serial::kOwnEndGranted, m_master.get())) {
            m_holder = std::move(client.fd);
            return;
        }
    } else if (request == Serial::kOwnEndStatusRequest) {
        sendText(client.fd.get(),
                 "held=" + std::to_string(m_holder ? 1 : 0) + " user=" + std::to_string(userOpen() ? 1 : 0) + "\n");
    } else if (request == Serial::kOwnEndReloadRequest) {
        reload();
        const std::string name = m_config.userName();
        const bool linked = name.empty() || m_userEntry == m_comFolder + "/" + name;
        sendText(client.fd.get(), linked ? Serial::kOwnEndGranted : Serial::kOwnEndFailed);
    }
    client.fd.reset();
}

void PairDaemon::tick()
{
    const bool open = userOpen();
    if (m_wasUserOpen && !open)
        clearUserInput();
    m_wasUserOpen = open;
    if (!m_holder && open) {
        char buf[4096];
        for (int i = 0; i < 64 && read(m_master.get(), buf, sizeof buf) > 0; ++i) {}
    }
    const long long now = nowMs();
    for (Client& c : m_clients) {
        if (c.fd && now - c.since > kClientLineWaitMs)
            c.fd.reset();
    }
    m_clients.erase(std::remove_if(m_clients.begin(), m_clients.end(), [](const Client& c) { return !c.fd; }),
                    m_clients.end());
}

int PairDaemon::run()
{
    long long lastCheck = nowMs();
    for (;;) {
        tick();
        // A pair whose configuration is gone (its state folder removed) ends.
        if (nowMs() - lastCheck >= kConfigCheckMs) {
            lastCheck = nowMs();
            struct stat st {};
            if (stat((m_stateFolder + "/" + kConfigFile).c_str(), &st) != 0 && errno == ENOENT) {
                removeEntries();
                return 0;
            }
        }
        std::vector<pollfd> fds;
        fds.push_back({m_signals.get(), POLLIN, 0});
        fds.push_back({m_listener.get(), static_cast<short>(m_clients.size() < kMaxClients ? POLLIN : 0), 0});
        fds.push_back({m_holder.get(), POLLIN, 0});
        // Only an open user's end is watched for data: a closed one hangs up for good.
        fds.push_back({!m_holder && m_wasUserOpen ? m_master.get() : -1, POLLIN, 0});
        for (const Client& c : m_clients)
            fds.push_back({c.fd.get(), POLLIN, 0});
        if (poll(fds.data(), fds.size(), kDaemonTickMs) < 0 && errno != EINTR)
            return 1;
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            while (read(m_signals.get(), &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
                if (info.ssi_signo == SIGHUP) {
                    reload();
                    continue;
                }
                removeEntries();
                return 0;
            }
        }
        if (fds[2].revents) {
            // A holder never sends; data or a hang-up both end the hold.
            dropHeld();
        }
        for (size_t i = 4; i < fds.size(); ++i) {
            if (fds[i].revents)
                serveClient(m_clients[i - 4]);
        }
        if (fds[1].revents & POLLIN) {
            platform::UniqueFd fd(accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
            if (fd) {
                ucred cred{};
                socklen_t len = sizeof cred;
                if (getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == geteuid())
                    m_clients.push_back({std::move(fd), {}, nowMs()});
            }
        }
    }
}

bool PairDaemon::startDetached(const std::string& comFolder, const std::string& stateFolder)
{
    std::string text;
    PairConfig config;
    if (!readSmallFile(stateFolder + "/" + kConfigFile, &text) || !config.parse(text))
        return false;
    const pid_t first = fork();
    if (first < 0)
        return false;
    if (first > 0) {
        int status = 0;
        while (waitpid(first, &status, 0) < 0 && errno == EINTR) {}
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    // First child: a new session, then the daemon itself as its child, so it
    // can never get a controlling terminal back.
    if (setsid() < 0)
        _exit(1);
    const pid_t second = fork();
    if (second < 0)
        _exit(1);
    if (second > 0)
        _exit(0);
    const int null = open("/dev/null", O_RDWR);
    if (null < 0)
        _exit(1);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    close_range(3, ~0U, 0);
    umask(077);
    if (chdir("/") != 0)
        _exit(1);
    int code = 1;
    {
        PairDaemon daemon(comFolder, stateFolder);
        if (daemon.setUp(config))
            code = daemon.run();
    }
    std::exit(code);
}

} // namespace Vcom
