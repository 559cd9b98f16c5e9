#include "platform/termination/terminationnotifier.h"

#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT};

// The active notifier's write end, read by the handler; -1 while no notifier is active.
std::atomic<int> s_writeEnd{-1};
std::atomic<bool> s_taken{false};
struct sigaction s_previous[2];

void onSignal(int signalNumber)
{
    const int saved = errno;
    const int fd = s_writeEnd.load();
    if (fd >= 0) {
        const unsigned char byte = static_cast<unsigned char>(signalNumber);
        // A full pipe already holds requests enough; the byte may go.
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

TerminationNotifier::TerminationNotifier(QObject* parent)
    : QObject(parent)
{
    if (s_taken.exchange(true))
        return;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        s_taken = false;
        return;
    }
    m_readEnd.reset(fds[0]);
    m_writeEnd.reset(fds[1]);
    s_writeEnd = m_writeEnd.get();

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls elsewhere in the program go on as before.
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i)
        ::sigaction(kSignals[i], &action, &s_previous[i]);

    m_notifier = new QSocketNotifier(m_readEnd.get(), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationNotifier::readRequests);
}

TerminationNotifier::~TerminationNotifier()
{
    if (!m_readEnd)
        return;
    for (int i = 0; i < 2; ++i)
        ::sigaction(kSignals[i], &s_previous[i], nullptr);
    delete m_notifier;
    // The handler lets go of the write end before it closes.
    s_writeEnd = -1;
    m_writeEnd.reset();
    m_readEnd.reset();
    s_taken = false;
}

void TerminationNotifier::readRequests()
{
    unsigned char bytes[16];
    for (;;) {
        const ssize_t n = ::read(m_readEnd.get(), bytes, sizeof bytes);
        if (n <= 0)
            return;
        for (ssize_t i = 0; i < n; ++i)
            emit terminationRequested(bytes[i]);
    }
}
