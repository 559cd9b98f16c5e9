#include "platform/serial/serialownend.h"

#include "platform/fd/writeall.h"
#include "platform/serial/serialportname.h"
#include "platform/serial/serialspeed.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace Serial {

namespace {

constexpr size_t kQueueLimit = 16384; // bytes taken from the master ahead of the reader
constexpr unsigned char kSignature[4] = {'c', '0', 'c', 0};

uint32_t le32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16
           | static_cast<uint32_t>(p[3]) << 24;
}

void putLe32(std::string* out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

long long nowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

platform::UniqueFd connectTo(const std::string& path)
{
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) {
        errno = ENAMETOOLONG;
        return {};
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    platform::UniqueFd fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd)
        return {};
    if (connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        const int error = errno;
        fd.reset();
        errno = error;
        return {};
    }
    // Only a daemon of this user may hand us a port.
    ucred cred{};
    socklen_t len = sizeof cred;
    if (getsockopt(fd.get(), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 || cred.uid != geteuid()) {
        fd.reset();
        errno = EACCES;
        return {};
    }
    return fd;
}

// Reads one answer line (and a passed descriptor, when one comes along).
std::string readAnswer(int fd, platform::UniqueFd* passed)
{
    std::string line;
    const long long deadline = nowMs() + kOwnEndAnswerWaitMs;
    while (line.size() < static_cast<size_t>(kOwnEndAnswerLimit)) {
        const long long left = deadline - nowMs();
        if (left <= 0)
            return {};
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return {};
        char buf[kOwnEndAnswerLimit];
        iovec iov{buf, sizeof buf - line.size()};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t n = recvmsg(fd, &msg, MSG_CMSG_CLOEXEC);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return {};
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS)
                continue;
            const size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (size_t i = 0; i < count; ++i) {
                int fdPassed = -1;
                std::memcpy(&fdPassed, CMSG_DATA(c) + i * sizeof(int), sizeof(int));
                // Only the first is kept; every other one closes here.
                platform::UniqueFd received(fdPassed);
                if (passed && !*passed)
                    *passed = std::move(received);
            }
        }
        line.append(buf, static_cast<size_t>(n));
        const size_t end = line.find('\n');
        if (end != std::string::npos)
            return line.substr(0, end + 1);
    }
    return {};
}

} // namespace

bool operator==(const LineState& a, const LineState& b)
{
    return a.baud == b.baud && a.dataBits == b.dataBits && a.parity == b.parity && a.stopBits == b.stopBits;
}

bool readLineState(int master, LineState* out)
{
    termios t{};
    if (tcgetattr(master, &t) != 0)
        return false;
    LineState s;
    unsigned baud = 0;
    if (!readSpeed(master, &baud))
        return false;
    s.baud = baud;
    switch (t.c_cflag & CSIZE) {
    case CS5: s.dataBits = 5; break;
    case CS6: s.dataBits = 6; break;
    case CS7: s.dataBits = 7; break;
    default: s.dataBits = 8; break;
    }
    const bool odd = t.c_cflag & PARODD;
    const bool stick = t.c_cflag & CMSPAR;
    if (stick)
        s.parity = odd ? 3 : 4;
    else if (odd)
        s.parity = 1;
    else
        s.parity = (t.c_cflag & PARENB) ? 2 : 0;
    if (t.c_cflag & CSTOPB)
        s.stopBits = s.dataBits == 5 ? 1 : 2;
    *out = s;
    return true;
}

bool isOwnEndEntry(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

OwnEndOpen requestOwnEnd(const std::string& path, platform::UniqueFd* master, platform::UniqueFd* holder)
{
    master->reset();
    holder->reset();
    platform::UniqueFd fd = connectTo(path);
    if (!fd)
        return OwnEndOpen::Failed;
    platform::UniqueFd passed;
    std::string answer;
    if (platform::writeAll(fd.get(), kOwnEndOpenRequest, std::strlen(kOwnEndOpenRequest)))
        answer = readAnswer(fd.get(), &passed);
    if (answer == kOwnEndGranted && passed) {
        *master = std::move(passed);
        *holder = std::move(fd);
        return OwnEndOpen::Granted;
    }
    passed.reset();
    fd.reset();
    if (answer == kOwnEndBusy) {
        errno = EBUSY;
        return OwnEndOpen::Busy;
    }
    errno = EIO;
    return OwnEndOpen::Failed;
}

std::string askPairDaemon(const std::string& path, const char* request)
{
    const platform::UniqueFd fd = connectTo(path);
    if (!fd)
        return {};
    std::string answer;
    if (platform::writeAll(fd.get(), request, std::strlen(request)))
        answer = readAnswer(fd.get(), nullptr);
    return answer;
}

bool queryPairStatus(const std::string& ownName, PairStatus* out)
{
    const std::string path = devicePath(ownName);
    if (path.empty() || !isOwnEndEntry(path))
        return false;
    const std::string answer = askPairDaemon(path, kOwnEndStatusRequest);
    int held = -1;
    int user = -1;
    if (answer.empty() || std::sscanf(answer.c_str(), "held=%d user=%d", &held, &user) != 2)
        return false;
    out->held = held == 1;
    out->userOpen = user == 1;
    return true;
}

bool OwnEnd::control(const unsigned char* in, int inLen, unsigned char* out, int outLen, int* returned)
{
    if (returned)
        *returned = 0;
    if (!in || (inLen != 1 && inLen != 9)) {
        errno = EINVAL;
        return false;
    }
    const unsigned char escape = in[0];
    uint32_t options = kInsertLsr | kInsertMst;
    if (inLen == 9) {
        if (std::memcmp(in + 1, kSignature, 4) != 0) {
            errno = EINVAL;
            return false;
        }
        options = le32(in + 5);
        if (escape == 0 && options == kInsertQueryOptions) {
            if (!out || outLen < 8) {
                errno = EINVAL;
                return false;
            }
            std::memcpy(out, kSignature, 4);
            for (int i = 0; i < 4; ++i)
                out[4 + i] = static_cast<unsigned char>(kInsertSupported >> (8 * i));
            if (returned)
                *returned = 8;
            return true;
        }
        if (options & ~kInsertSupported) {
            errno = EINVAL;
            return false;
        }
    }
    if (escape == 0) {
        m_escape = 0;
        m_options = 0;
        return true;
    }
    LineState now;
    if (!readLineState(m_master, &now)) {
        errno = EIO;
        return false;
    }
    std::string records;
    if (options & kInsertReturnState)
        appendRecords(escape, now, options, &records);
    if (records.size() > static_cast<size_t>(outLen > 0 ? outLen : 0)) {
        errno = EINVAL;
        return false;
    }
    // Only the first enable after open clears the input: the refresh made
    // every 10 s must not lose the user's bytes.
    if (!m_enabledOnce)
        dropInput();
    m_enabledOnce = true;
    m_escape = escape;
    m_options = options;
    m_reported = now;
    if (!records.empty())
        std::memcpy(out, records.data(), records.size());
    if (returned)
        *returned = static_cast<int>(records.size());
    return true;
}

void OwnEnd::appendRecords(unsigned char escape, const LineState& s, uint32_t which, std::string* out) const
{
    const char e = static_cast<char>(escape);
    if (which & kInsertLsr) {
        // Transmitter empty and holding register empty: nothing is ever pending out.
        out->append({e, static_cast<char>(kRecordLineStatus), static_cast<char>(0x60)});
    }
    if (which & kInsertMst) {
        // cts and dsr follow the user's end being open.
        const char msr = userOpen() ? static_cast<char>(0x30) : 0;
        out->append({e, static_cast<char>(kRecordModemStatus), msr});
    }
    if (which & kInsertRbr) {
        out->append({e, static_cast<char>(kRecordSpeed)});
        putLe32(out, s.baud);
    }
    if (which & kInsertRlc) {
        out->append({e, static_cast<char>(kRecordLineControl), static_cast<char>(s.dataBits),
                     static_cast<char>(s.parity), static_cast<char>(s.stopBits)});
    }
}

bool OwnEnd::userOpen() const
{
    pollfd p{m_master, POLLIN | POLLOUT, 0};
    if (poll(&p, 1, 0) < 0)
        return false;
    return !(p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

void OwnEnd::appendData(const char* data, int len)
{
    if (m_escape == 0) {
        m_queue.append(data, static_cast<size_t>(len));
        return;
    }
    const char e = static_cast<char>(m_escape);
    for (int i = 0; i < len; ++i) {
        m_queue.push_back(data[i]);
        if (data[i] == e)
            m_queue.push_back(static_cast<char>(kRecordEscapedData));
    }
}

void OwnEnd::dropInput()
{
    char buf[4096];
    for (int i = 0; i < 64; ++i) {
        if (::read(m_master, buf, sizeof buf) <= 0)
            break;
    }
    tcflush(m_master, TCIFLUSH);
    m_queue.clear();
    m_queuePos = 0;
}

void OwnEnd::refresh()
{
    if (m_escape != 0 && (m_options & (kInsertRbr | kInsertRlc))) {
        LineState now;
        if (readLineState(m_master, &now) && !(now == m_reported)) {
            uint32_t changed = 0;
            if (now.baud != m_reported.baud)
                changed |= kInsertRbr;
            if (now.dataBits != m_reported.dataBits || now.parity != m_reported.parity
                || now.stopBits != m_reported.stopBits)
                changed |= kInsertRlc;
            std::string records;
            appendRecords(m_escape, now, changed & m_options, &records);
            m_queue += records;
            m_reported = now;
        }
    }
    char buf[4096];
    while (m_queue.size() - m_queuePos + 2 * sizeof buf <= kQueueLimit) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // nothing more, or the user's end is closed (EIO)
        appendData(buf, static_cast<int>(n));
    }
}

int OwnEnd::take(char* dst, int len)
{
    const int n = std::min(len, queued());
    if (n <= 0)
        return 0;
    std::memcpy(dst, m_queue.data() + m_queuePos, static_cast<size_t>(n));
    m_queuePos += static_cast<size_t>(n);
    if (m_queuePos == m_queue.size()) {
        m_queue.clear();
        m_queuePos = 0;
    }
    return n;
}

} // namespace Serial
