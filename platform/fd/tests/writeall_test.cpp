#include "platform/fd/writeall.h"

#include "platform/fd/uniquefd.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::atomic<int> g_signals{0};

void countSignal(int)
{
    g_signals.fetch_add(1);
}

// A handler for `sig` without SA_RESTART, so a blocked write returns early
// (EINTR, or with a part written); the old one comes back at the end.
class InterruptingSignal {
public:
    explicit InterruptingSignal(int sig)
        : m_sig(sig)
    {
        struct sigaction action {};
        action.sa_handler = countSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        ::sigaction(m_sig, &action, &m_old);
    }
    ~InterruptingSignal() { ::sigaction(m_sig, &m_old, nullptr); }

private:
    int m_sig;
    struct sigaction m_old {};
};

// SIGPIPE back at its default (end of the process) for one scope.
class DefaultSigpipe {
public:
    DefaultSigpipe() { m_old = std::signal(SIGPIPE, SIG_DFL); }
    ~DefaultSigpipe() { std::signal(SIGPIPE, m_old); }

private:
    void (*m_old)(int) = SIG_DFL;
};

std::string pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 4093) & 0xFF);
    return bytes;
}

struct Pipe {
    platform::UniqueFd read;
    platform::UniqueFd write;
    explicit Pipe(int flags = 0)
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC | flags) == 0) {
            read.reset(ends[0]);
            write.reset(ends[1]);
            // One page: every large write blocks and is taken in parts.
            ::fcntl(ends[1], F_SETPIPE_SZ, 4096);
        }
    }
};

// Reads everything until end of input, a little at a time.
std::string readToEnd(int fd, std::size_t chunk)
{
    std::string got;
    std::string buf(chunk, '\0');
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return got;
        got.append(buf.data(), static_cast<std::size_t>(n));
    }
}

} // namespace

TEST(WriteAll, EveryByteArrivesInOrderThroughSignalsAndShortWrites)
{
    InterruptingSignal handler(SIGUSR1);
    Pipe pipe;
    ASSERT_TRUE(pipe.read && pipe.write);
    const std::string sent = pattern(1 << 20);
    const int before = g_signals.load();
    std::string got;
    // The reader starts only once the writer, blocked on the full pipe, has
    // been interrupted a number of times, however slowly a loaded machine
    // runs the signalling thread (at most 10 s).
    std::thread reader([&] {
        const auto start = std::chrono::steady_clock::now();
        while (g_signals.load() - before < 20 && std::chrono::steady_clock::now() - start < std::chrono::seconds(10))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        got = readToEnd(pipe.read.get(), 1000);
    });

    // The writer is signalled over and over while it waits for the reader.
    std::atomic<bool> writing{true};
    const pthread_t writer = ::pthread_self();
    std::thread signaller([&] {
        while (writing.load()) {
            ::pthread_kill(writer, SIGUSR1);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    const bool ok = platform::writeAll(pipe.write.get(), sent.data(), sent.size());
    const int error = errno;
    writing = false;
    signaller.join();
    pipe.write.reset();
    reader.join();

    EXPECT_TRUE(ok) << std::strerror(error);
    EXPECT_GT(g_signals.load() - before, 10) << "the writer was hardly interrupted: the test proved nothing";
    EXPECT_EQ(got.size(), sent.size());
    EXPECT_TRUE(got == sent) << "bytes lost, doubled or out of order";
}

TEST(WriteAll, APeerThatHasGoneIsAFailureNotSigpipe)
{
    DefaultSigpipe sigpipe;
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
    platform::UniqueFd mine(ends[0]);
    ::close(ends[1]);
    const std::string bytes = pattern(100);
    errno = 0;
    EXPECT_FALSE(platform::writeAll(mine.get(), bytes.data(), bytes.size()));
    EXPECT_EQ(errno, EPIPE);

    const platform::WriteProgress progress = platform::writeAllWithin(mine.get(), bytes.data(), bytes.size(), {});
    EXPECT_EQ(progress.written, 0u);
    EXPECT_EQ(progress.error, EPIPE);
}

TEST(WriteAll, AClosedOrFullDescriptorFailsWithItsError)
{
    const std::string bytes = pattern(64 * 1024);
    errno = 0;
    EXPECT_FALSE(platform::writeAll(-1, bytes.data(), bytes.size()));
    EXPECT_EQ(errno, EBADF);

    // A non-blocking pipe that nobody reads takes a page, then says so.
    Pipe full(O_NONBLOCK);
    ASSERT_TRUE(full.write);
    errno = 0;
    EXPECT_FALSE(platform::writeAll(full.write.get(), bytes.data(), bytes.size()));
    EXPECT_EQ(errno, EAGAIN);
}

TEST(WriteAllWithin, WithoutTimeItWritesWhatFitsAndReturns)
{
    Pipe pipe(O_NONBLOCK);
    ASSERT_TRUE(pipe.write);
    const std::string bytes = pattern(64 * 1024);
    const platform::WriteProgress progress = platform::writeAllWithin(pipe.write.get(), bytes.data(), bytes.size(), {});
    EXPECT_GT(progress.written, 0u);
    EXPECT_LT(progress.written, bytes.size());
    EXPECT_EQ(progress.error, 0);
    EXPECT_FALSE(progress.hungUp);
}

TEST(WriteAllWithin, AFullDescriptorIsWaitedOnUntilItsReaderMakesRoom)
{
    Pipe pipe(O_NONBLOCK);
    ASSERT_TRUE(pipe.read && pipe.write);
    ::fcntl(pipe.read.get(), F_SETFL, 0);
    const std::string sent = pattern(256 * 1024);
    std::string got;
    std::thread reader([&] {
        // Late, so the writer has to wait for room first.
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        got = readToEnd(pipe.read.get(), 777);
    });
    const platform::WriteProgress progress = platform::writeAllWithin(pipe.write.get(), sent.data(), sent.size(),
                                                                      {60000, 0, true});
    pipe.write.reset();
    reader.join();
    EXPECT_EQ(progress.written, sent.size());
    EXPECT_EQ(progress.error, 0);
    EXPECT_TRUE(got == sent);
}

TEST(WriteAllWithin, AReaderThatNeverReadsEndsTheWaitAtTheLimit)
{
    Pipe pipe(O_NONBLOCK);
    ASSERT_TRUE(pipe.write);
    const std::string bytes = pattern(64 * 1024);
    const auto start = std::chrono::steady_clock::now();
    const platform::WriteProgress progress = platform::writeAllWithin(pipe.write.get(), bytes.data(), bytes.size(),
                                                                      {300, 7, true});
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_LT(progress.written, bytes.size());
    EXPECT_EQ(progress.error, 0);
    EXPECT_GE(waited, std::chrono::milliseconds(300));
    EXPECT_LT(waited, std::chrono::seconds(30));
}
