#include "platform/termination/terminationnotifier.h"

#include "testing/main/eventwait.h"

#include <gtest/gtest.h>

#include <QThread>

#include <atomic>
#include <csignal>
#include <thread>
#include <vector>

#include <pthread.h>
#include <unistd.h>

using TestWait::waitUntil;

namespace {

std::atomic<int> s_customCalls{0};

void customHandler(int)
{
    ++s_customCalls;
}

} // namespace

TEST(TerminationNotifier, TermAndIntArriveAsSignalsOnTheNotifiersThread)
{
    TerminationNotifier notifier;
    ASSERT_TRUE(notifier.isActive());
    std::vector<int> received;
    std::vector<bool> onOwnThread;
    QObject::connect(&notifier, &TerminationNotifier::terminationRequested, [&](int signalNumber) {
        received.push_back(signalNumber);
        onOwnThread.push_back(QThread::currentThread() == notifier.thread());
    });

    ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
    ASSERT_TRUE(waitUntil([&] { return received.size() == 1; }, 10000));
    EXPECT_EQ(received.at(0), SIGTERM);

    // Sent to another thread of the process, it still arrives here.
    std::thread other([] { ::pthread_kill(::pthread_self(), SIGINT); });
    other.join();
    ASSERT_TRUE(waitUntil([&] { return received.size() == 2; }, 10000));
    EXPECT_EQ(received.at(1), SIGINT);
    EXPECT_EQ(onOwnThread, std::vector<bool>({true, true}));
}

TEST(TerminationNotifier, OneAtATimeAndThePreviousHandlingComesBack)
{
    struct sigaction custom {};
    custom.sa_handler = customHandler;
    sigemptyset(&custom.sa_mask);
    struct sigaction before {};
    ASSERT_EQ(::sigaction(SIGTERM, &custom, &before), 0);
    {
        TerminationNotifier first;
        ASSERT_TRUE(first.isActive());
        TerminationNotifier second;
        EXPECT_FALSE(second.isActive());
        ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
        waitUntil([] { return false; }, 50);
        EXPECT_EQ(s_customCalls.load(), 0);
    }
    ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
    EXPECT_TRUE(waitUntil([] { return s_customCalls.load() == 1; }, 10000));
    // A new notifier after the first one's end works again.
    {
        TerminationNotifier again;
        EXPECT_TRUE(again.isActive());
    }
    ::sigaction(SIGTERM, &before, nullptr);
}
