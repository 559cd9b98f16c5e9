#include "platform/instancelock/instancelock.h"

#include "testing/main/opendescriptors.h"
#include "testing/main/tempfolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using Platform::InstanceLock;
using Platform::LockResult;

namespace {

// A fresh runtime folder for one test; XDG_RUNTIME_DIR points at it until the end.
class RuntimeFolder {
public:
    RuntimeFolder()
    {
        const char* old = std::getenv("XDG_RUNTIME_DIR");
        m_hadOld = old != nullptr;
        if (old)
            m_old = old;
        ::setenv("XDG_RUNTIME_DIR", m_folder.path().c_str(), 1);
    }
    ~RuntimeFolder()
    {
        if (m_hadOld)
            ::setenv("XDG_RUNTIME_DIR", m_old.c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }
    const std::string& path() const { return m_folder.path(); }

private:
    TestFolder::TempFolder m_folder{"twinstlock"};
    std::string m_old;
    bool m_hadOld = false;
};

// A child that takes the lock, reports through a pipe and then sleeps.
pid_t childHolding(const std::string& name, int* readyFd)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        InstanceLock lock(name);
        const char answer = lock.acquire() == LockResult::Acquired ? 'y' : 'n';
        (void)!::write(fds[1], &answer, 1);
        for (;;)
            ::pause();
    }
    ::close(fds[1]);
    *readyFd = fds[0];
    return pid;
}

} // namespace

TEST(InstanceLock, NamesMapToOneSafeFileName)
{
    EXPECT_EQ(InstanceLock::fileNameFor("vexaquillet"), "vexaquillet.lock");
    EXPECT_EQ(InstanceLock::fileNameFor("Global/Tarnwick"), "Global%2FTarnwick.lock");
    EXPECT_EQ(InstanceLock::fileNameFor("../x"), "..%2Fx.lock");
    EXPECT_EQ(InstanceLock::fileNameFor(".."), "...lock");
    // '%' itself is escaped, so "a/b" and "a%2Fb" stay apart.
    EXPECT_NE(InstanceLock::fileNameFor("a/b"), InstanceLock::fileNameFor("a%2Fb"));
    EXPECT_EQ(InstanceLock::fileNameFor("a b\xE4"), "a%20b%E4.lock");
}

TEST(InstanceLock, SecondHolderIsRefusedUntilTheFirstReleases)
{
    RuntimeFolder folder;
    InstanceLock first("Global/Tarnwick");
    InstanceLock second("Global/Tarnwick");
    ASSERT_EQ(first.acquire(), LockResult::Acquired);
    EXPECT_EQ(first.path(), folder.path() + "/Global%2FTarnwick.lock");
    const int holding = TestDescriptors::openDescriptorCount();
    EXPECT_EQ(second.acquire(), LockResult::HeldElsewhere);
    EXPECT_FALSE(second.held());
    // The refused open of the file is closed again.
    EXPECT_EQ(TestDescriptors::openDescriptorCount(), holding);
    // Another name is another lock.
    InstanceLock other("vexaquillet");
    EXPECT_EQ(other.acquire(), LockResult::Acquired);
    first.release();
    EXPECT_EQ(TestDescriptors::openDescriptorCount(), holding); // other's in, first's out
    EXPECT_EQ(second.acquire(), LockResult::Acquired);
}

TEST(InstanceLock, FileIsPrivateToTheUser)
{
    RuntimeFolder folder;
    InstanceLock lock("vexaquillet");
    ASSERT_EQ(lock.acquire(), LockResult::Acquired);
    struct stat info {};
    ASSERT_EQ(::stat(lock.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(InstanceLock, KilledHolderLeavesTheLockFree)
{
    RuntimeFolder folder;
    int readyFd = -1;
    const pid_t pid = childHolding("vexaquillet", &readyFd);
    ASSERT_GT(pid, 0);
    char answer = 0;
    ASSERT_EQ(::read(readyFd, &answer, 1), 1);
    ::close(readyFd);
    ASSERT_EQ(answer, 'y');

    InstanceLock lock("vexaquillet");
    EXPECT_EQ(lock.acquire(), LockResult::HeldElsewhere);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    EXPECT_EQ(lock.acquire(), LockResult::Acquired);
}

TEST(InstanceLock, ChildProgramsDoNotInheritTheLock)
{
    RuntimeFolder folder;
    pid_t pid = -1;
    {
        InstanceLock lock("vexaquillet");
        ASSERT_EQ(lock.acquire(), LockResult::Acquired);
        pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ASSERT_GT(pid, 0);
    }
    // The sleeping child still runs; without O_CLOEXEC it would hold the lock.
    InstanceLock again("vexaquillet");
    EXPECT_EQ(again.acquire(), LockResult::Acquired);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

TEST(InstanceLock, FallsBackToTheCallersFolderWithoutRuntimeFolder)
{
    RuntimeFolder folder;
    ::unsetenv("XDG_RUNTIME_DIR");
    const std::string data = folder.path() + "/data/locks";
    InstanceLock lock("vexaquillet", data);
    ASSERT_EQ(lock.acquire(), LockResult::Acquired);
    EXPECT_EQ(lock.path(), data + "/vexaquillet.lock");
    EXPECT_EQ(::access(lock.path().c_str(), F_OK), 0);
}

TEST(InstanceLock, UnusableFolderCannotOpenRatherThanHeldElsewhere)
{
    RuntimeFolder folder;
    // A regular file where the folder should be.
    const std::string file = folder.path() + "/plainfile";
    FILE* f = std::fopen(file.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    ::setenv("XDG_RUNTIME_DIR", (file + "/sub").c_str(), 1);
    InstanceLock lock("vexaquillet");
    EXPECT_EQ(lock.acquire(), LockResult::CannotOpen);
    EXPECT_NE(lock.lastError(), 0);

    ::unsetenv("XDG_RUNTIME_DIR");
    InstanceLock nowhere("vexaquillet");
    EXPECT_EQ(nowhere.acquire(), LockResult::CannotOpen);
}

TEST(InstanceLock, SymlinkAtTheLockPathIsNotFollowed)
{
    RuntimeFolder folder;
    const std::string target = folder.path() + "/elsewhere";
    ASSERT_EQ(::symlink(target.c_str(), (folder.path() + "/vexaquillet.lock").c_str()), 0);
    InstanceLock lock("vexaquillet");
    EXPECT_EQ(lock.acquire(), LockResult::CannotOpen);
    EXPECT_NE(::access(target.c_str(), F_OK), 0);
}
