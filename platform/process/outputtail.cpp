#include "platform/process/outputtail.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

constexpr size_t kChunkBytes = 4096;
// A drain gives up after this many chunks, so that a writer that never
// pauses cannot keep a caller of lines() or close() waiting.
constexpr int kDrainChunks = 256;

} // namespace

OutputTail::~OutputTail()
{
    close();
}

int OutputTail::open()
{
    close();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
        m_partial.clear();
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return -1;
    platform::UniqueFd readFd(ends[0]);
    platform::UniqueFd writeFd(ends[1]);
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    m_wakeRead.reset(ends[0]);
    m_wakeWrite.reset(ends[1]);
    // Only this side reads without waiting; the child writes as to any pipe.
    ::fcntl(readFd.get(), F_SETFL, ::fcntl(readFd.get(), F_GETFL) | O_NONBLOCK);
    m_readFd = std::move(readFd);
    m_writeFd = std::move(writeFd);
    return m_writeFd.get();
}

void OutputTail::startReading()
{
    m_writeFd.reset();
    if (!m_readFd)
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = false;
        m_ended = false;
        m_catchUpAsked = 0;
        m_catchUpDone = 0;
    }
    try {
        m_reader = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No reader: the pipe goes, and the child's writes end with EPIPE
        // instead of blocking.
        std::lock_guard<std::mutex> lock(m_mutex);
        m_ended = true;
        m_readFd.reset();
    }
}

void OutputTail::close()
{
    if (m_reader.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_quit = true;
        }
        const char wake = 1;
        (void)!::write(m_wakeWrite.get(), &wake, 1);
        m_reader.join();
    }
    closeFds();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ended = true;
}

QList<QByteArray> OutputTail::lines()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_ended) {
        const std::uint64_t ask = ++m_catchUpAsked;
        const char wake = 1;
        (void)!::write(m_wakeWrite.get(), &wake, 1);
        m_changed.wait_for(lock, std::chrono::milliseconds(kCatchUpMs),
                           [&] { return m_ended || m_catchUpDone >= ask; });
    }
    QList<QByteArray> result;
    for (const QByteArray& line : m_lines)
        result.append(line);
    if (!m_partial.isEmpty())
        result.append(m_partial);
    return result;
}

void OutputTail::run()
{
    for (;;) {
        pollfd fds[2] = {{m_readFd.get(), POLLIN, 0}, {m_wakeRead.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            break;
        if (fds[1].revents != 0) {
            char bytes[64];
            while (::read(m_wakeRead.get(), bytes, sizeof bytes) > 0) {}
        }
        std::uint64_t asked = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            asked = m_catchUpAsked;
        }
        // Whatever was written before the ask is in the pipe now.
        const bool open = drain();
        std::lock_guard<std::mutex> lock(m_mutex);
        m_catchUpDone = asked;
        if (!open || m_quit)
            break;
        m_changed.notify_all();
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ended = true;
    m_changed.notify_all();
}

bool OutputTail::drain()
{
    char buffer[kChunkBytes];
    for (int chunk = 0; chunk < kDrainChunks; ++chunk) {
        const ssize_t n = ::read(m_readFd.get(), buffer, sizeof buffer);
        if (n > 0) {
            std::lock_guard<std::mutex> lock(m_mutex);
            take(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n == 0)
            return false;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
    return true;
}

void OutputTail::take(const char* data, size_t size)
{
    while (size > 0) {
        const char* end = static_cast<const char*>(std::memchr(data, '\n', size));
        const size_t piece = end ? static_cast<size_t>(end - data) : size;
        const size_t room = static_cast<size_t>(kMaxLineBytes) - static_cast<size_t>(m_partial.size());
        m_partial.append(data, static_cast<int>(piece < room ? piece : room));
        if (!end)
            return;
        if (m_partial.endsWith('\r'))
            m_partial.chop(1);
        m_lines.push_back(m_partial);
        if (m_lines.size() > static_cast<size_t>(kMaxLines))
            m_lines.pop_front();
        m_partial.clear();
        data = end + 1;
        size -= piece + 1;
    }
}

void OutputTail::closeFds()
{
    m_readFd.reset();
    m_writeFd.reset();
    m_wakeRead.reset();
    m_wakeWrite.reset();
}
