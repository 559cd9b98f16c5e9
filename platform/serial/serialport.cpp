#include "platform/serial/serialport.h"

#include "platform/fd/writeall.h"
#include "platform/serial/serialownend.h"
#include "platform/serial/serialportname.h"
#include "platform/serial/serialspeed.h"
#include "platform/serial/serialtermios.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace Serial {

namespace {

// The longest a write waits for room before it tries again.
constexpr int kWriteRetryMs = 1;

// Unix98 pty slaves (/dev/pts/N).
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

speed_t speedConstant(unsigned baud)
{
    switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    case 2500000: return B2500000;
    case 3000000: return B3000000;
    case 3500000: return B3500000;
    case 4000000: return B4000000;
    default: return B0;
    }
}

bool isGoneError(int error)
{
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF;
}

void setModemLine(int fd, int line, LineControl control)
{
    // A pty has no modem lines; their failure is not the port's.
    if (control == LineControl::On)
        ioctl(fd, TIOCMBIS, &line);
    else if (control == LineControl::Off)
        ioctl(fd, TIOCMBIC, &line);
}

} // namespace

bool toTermios(const Settings& s, termios* out)
{
    termios& t = *out;
    cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD;
    switch (s.dataBits) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    default: t.c_cflag |= CS8; break;
    }
    // With 5 data bits the UART sends CSTOPB as 1.5 stop bits.
    if (s.stopBits != StopBits::One)
        t.c_cflag |= CSTOPB;
    switch (s.parity) {
    case Parity::None: break;
    case Parity::Even: t.c_cflag |= PARENB; break;
    case Parity::Odd: t.c_cflag |= PARENB | PARODD; break;
    case Parity::Mark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case Parity::Space: t.c_cflag |= PARENB | CMSPAR; break;
    }
    if (s.parity != Parity::None)
        t.c_iflag |= INPCK;
    if (s.ctsOutput || s.rts == LineControl::Handshake)
        t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (s.xonXoff)
        t.c_iflag |= IXON | IXOFF;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const speed_t constant = speedConstant(s.baud);
    if (constant != B0) {
        cfsetispeed(&t, constant);
        cfsetospeed(&t, constant);
    }
    return constant != B0;
}

Port::Port() = default;

Port::~Port()
{
    close();
}

void Port::noteError(int error)
{
    m_error = error;
}

OpenResult Port::open(const std::string& name)
{
    close();
    const std::string path = devicePath(name);
    if (path.empty()) {
        m_error = EINVAL;
        return OpenResult::BadName;
    }
    if (isOwnEndEntry(path))
        return openOwnEnd(path);
    platform::UniqueFd fd(::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd) {
        m_error = errno;
        if (errno == ENOENT || errno == ENXIO || errno == ENODEV || errno == ENOTDIR)
            return OpenResult::NotFound;
        if (errno == EACCES || errno == EBUSY || errno == EPERM)
            return OpenResult::AccessDenied;
        return OpenResult::Failed;
    }
    if (!isatty(fd.get())) {
        m_error = ENOTTY;
        return OpenResult::Failed;
    }
    if (flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        m_error = errno;
        return m_error == EWOULDBLOCK ? OpenResult::AccessDenied : OpenResult::Failed;
    }
    // A pty slave keeps TIOCEXCL after its holder died (the master keeps the
    // pair alive), which would lock the user's end of a virtual pair for good
    // after a crash; there the lock alone guards it.
    struct stat st {};
    const bool ptySlave = fstat(fd.get(), &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= kPtySlaveMajorFirst
                          && major(st.st_rdev) <= kPtySlaveMajorLast;
    if (!ptySlave)
        ioctl(fd.get(), TIOCEXCL);
    unsigned int ptyNumber = 0;
    m_isPtyMaster = ioctl(fd.get(), TIOCGPTN, &ptyNumber) == 0;
    m_fd = std::move(fd);
    m_error = 0;
    return OpenResult::Ok;
}

OpenResult Port::openOwnEnd(const std::string& path)
{
    platform::UniqueFd master;
    platform::UniqueFd holder;
    switch (requestOwnEnd(path, &master, &holder)) {
    case OwnEndOpen::Granted: break;
    case OwnEndOpen::Busy: m_error = EBUSY; return OpenResult::AccessDenied;
    case OwnEndOpen::Failed:
        // A socket nobody serves is what a dead daemon leaves behind.
        m_error = errno ? errno : ENOENT;
        return m_error == EACCES ? OpenResult::AccessDenied : OpenResult::NotFound;
    }
    fcntl(master.get(), F_SETFL, fcntl(master.get(), F_GETFL) | O_NONBLOCK);
    m_ownEnd = std::make_unique<OwnEnd>(master.get());
    m_fd = std::move(master);
    m_holder = std::move(holder);
    m_isPtyMaster = true;
    m_error = 0;
    return OpenResult::Ok;
}

void Port::close()
{
    if (m_ownEnd) {
        m_ownEnd.reset();
        m_fd.reset();
        m_holder.reset(); // frees the own end for the next opener
        m_isPtyMaster = false;
        return;
    }
    if (!m_fd)
        return;
    ioctl(m_fd.get(), TIOCNXCL);
    m_fd.reset(); // drops the flock with the last reference
    m_isPtyMaster = false;
}

bool Port::apply(const Settings& s)
{
    if (!m_fd) {
        m_error = EBADF;
        return false;
    }
    // The line belongs to the user's end; the driver's own end has no say in it.
    if (m_ownEnd)
        return true;
    termios t{};
    if (tcgetattr(m_fd.get(), &t) != 0) {
        noteError(errno);
        return false;
    }
    const bool standardSpeed = toTermios(s, &t);
    if (tcsetattr(m_fd.get(), TCSANOW, &t) != 0) {
        noteError(errno);
        return false;
    }
    if (!standardSpeed && !setExactSpeed(m_fd.get(), s.baud)) {
        noteError(errno ? errno : EINVAL);
        return false;
    }
    setModemLine(m_fd.get(), TIOCM_RTS, s.rts);
    setModemLine(m_fd.get(), TIOCM_DTR, s.dtr);
    return true;
}

bool Port::setTimeouts(const Timeouts& timeouts)
{
    if (!m_fd) {
        m_error = EBADF;
        return false;
    }
    m_timeouts = timeouts;
    return true;
}

bool Port::setQueueSizes(int in, int out)
{
    if (!m_fd || in <= 0 || out <= 0) {
        m_error = !m_fd ? EBADF : EINVAL;
        return false;
    }
    return true;
}

bool Port::readSettings(Settings* out)
{
    if (!m_fd) {
        m_error = EBADF;
        return false;
    }
    LineState line;
    if (!readLineState(m_fd.get(), &line)) {
        noteError(errno);
        return false;
    }
    termios t{};
    tcgetattr(m_fd.get(), &t);
    Settings s;
    s.baud = line.baud;
    s.dataBits = line.dataBits;
    const Parity parities[] = {Parity::None, Parity::Odd, Parity::Even, Parity::Mark, Parity::Space};
    s.parity = parities[line.parity < 5 ? line.parity : 0];
    s.stopBits = line.stopBits == 2 ? StopBits::Two : line.stopBits == 1 ? StopBits::OneAndHalf : StopBits::One;
    s.xonXoff = (t.c_iflag & IXON) != 0;
    s.ctsOutput = (t.c_cflag & CRTSCTS) != 0;
    *out = s;
    return true;
}

Status Port::ownEndStatus(bool input, bool output)
{
    Status st;
    // The daemon never writes to a holder: anything readable is its end.
    pollfd h{m_holder.get(), POLLIN, 0};
    if (poll(&h, 1, 0) > 0) {
        m_error = EIO;
        st.gone = true;
        return st;
    }
    st.ok = true;
    if (input) {
        m_ownEnd->refresh();
        st.queued = m_ownEnd->queued();
    }
    if (output) {
        // With the user's end closed the master hangs up, and what is written
        // is dropped: never full then.
        pollfd p{m_fd.get(), POLLOUT, 0};
        poll(&p, 1, 0);
        const bool userOpen = !(p.revents & (POLLHUP | POLLERR | POLLNVAL));
        st.transmitFull = userOpen && !(p.revents & POLLOUT);
    }
    return st;
}

Status Port::status()
{
    if (m_fd.valid() && m_ownEnd)
        return ownEndStatus(true, true);
    Status in = inputStatus();
    if (!in.ok)
        return in;
    const Status out = outputStatus();
    if (!out.ok)
        return out;
    in.transmitFull = out.transmitFull;
    return in;
}

Status Port::inputStatus()
{
    Status st;
    if (!m_fd) {
        m_error = EBADF;
        return st;
    }
    if (m_ownEnd)
        return ownEndStatus(true, false);
    // A tty that was hung up (its device or its pty master gone) fails here
    // with EIO.
    int queued = 0;
    if (ioctl(m_fd.get(), FIONREAD, &queued) != 0) {
        noteError(errno);
        st.gone = isGoneError(m_error);
        return st;
    }
    st.ok = true;
    st.queued = queued;
    return st;
}

Status Port::outputStatus()
{
    Status st;
    if (!m_fd) {
        m_error = EBADF;
        return st;
    }
    if (m_ownEnd)
        return ownEndStatus(false, true);
    pollfd p{m_fd.get(), POLLOUT, 0};
    if (poll(&p, 1, 0) < 0) {
        noteError(errno);
        return st;
    }
    // A pty master without its slave reports a hang-up too; that end stays.
    if ((p.revents & POLLNVAL) || ((p.revents & POLLHUP) && !m_isPtyMaster)) {
        m_error = EIO;
        st.gone = true;
        return st;
    }
    st.ok = true;
    st.transmitFull = !(p.revents & POLLOUT);
    return st;
}

int Port::read(char* dst, int len)
{
    if (!m_fd) {
        m_error = EBADF;
        return -1;
    }
    if (!dst || len <= 0)
        return 0;
    if (m_ownEnd) {
        m_ownEnd->refresh();
        return m_ownEnd->take(dst, len);
    }
    for (;;) {
        const ssize_t n = ::read(m_fd.get(), dst, static_cast<size_t>(len));
        if (n >= 0)
            return static_cast<int>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || (errno == EIO && m_isPtyMaster))
            return 0;
        noteError(errno);
        return -1;
    }
}

int Port::writeAll(const char* data, int len, bool* failed)
{
    *failed = false;
    int written = 0;
    while (written < len) {
        const int n = write(data + written, len - written);
        if (n <= 0) {
            *failed = n < 0;
            break;
        }
        written += n;
    }
    return written;
}

int Port::write(const char* data, int len)
{
    if (!m_fd) {
        m_error = EBADF;
        return -1;
    }
    if (!data || len <= 0)
        return 0;
    // With nobody on the user's end the driver drops what is sent, so that a
    // later opener reads nothing stale.
    if (m_ownEnd && !m_ownEnd->userOpen())
        return len;
    // A pty's writer is not always woken when its reader makes room (the
    // room comes later, from the kernel's flush): the write is tried again at
    // least every kWriteRetryMs instead of waiting out the rest.
    platform::WriteWait wait;
    wait.timeoutMs = m_timeouts.writeTotalMs > 0 ? m_timeouts.writeTotalMs : 0;
    wait.retryMs = kWriteRetryMs;
    wait.hangUpEnds = !m_isPtyMaster;
    const platform::WriteProgress progress = platform::writeAllWithin(m_fd.get(), data, static_cast<size_t>(len), wait);
    const int written = static_cast<int>(progress.written);
    if (progress.error != 0) {
        noteError(progress.error);
        return written > 0 ? written : -1;
    }
    return written;
}

bool Port::insertionControl(const unsigned char* in, int inLen, unsigned char* out, int outLen, int* returned)
{
    if (m_ownEnd) {
        if (m_ownEnd->control(in, inLen, out, outLen, returned))
            return true;
        noteError(errno);
        return false;
    }
    if (returned)
        *returned = 0;
    m_error = !m_fd ? EBADF : ENOTTY;
    return false;
}

} // namespace Serial
