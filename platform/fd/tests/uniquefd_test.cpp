#include "platform/fd/uniquefd.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace {

bool isOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1;
}

// A pipe's two ends, each raw, for the tests to hand to an owner.
struct RawPipe {
    int read = -1;
    int write = -1;
    RawPipe()
    {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) == 0) {
            read = ends[0];
            write = ends[1];
        }
    }
};

} // namespace

TEST(UniqueFd, ClosesOnceWhetherEndedMovedOrGivenAnother)
{
    RawPipe pipe;
    ASSERT_GE(pipe.read, 0);
    {
        platform::UniqueFd owner(pipe.read);
        platform::UniqueFd moved(std::move(owner));
        EXPECT_FALSE(owner.valid());
        EXPECT_EQ(moved.get(), pipe.read);
        platform::UniqueFd assigned;
        assigned = std::move(moved);
        EXPECT_TRUE(isOpen(pipe.read));
        // Taking the descriptor it already holds must not close it.
        assigned.reset(pipe.read);
        EXPECT_TRUE(isOpen(pipe.read));
        // Another descriptor closes the first.
        assigned.reset(pipe.write);
        EXPECT_FALSE(isOpen(pipe.read));
        EXPECT_TRUE(isOpen(pipe.write));
    }
    EXPECT_FALSE(isOpen(pipe.write));
}

TEST(UniqueFd, ReleaseGivesTheDescriptorUpWithoutClosingIt)
{
    RawPipe pipe;
    ASSERT_GE(pipe.read, 0);
    int released = -1;
    {
        platform::UniqueFd owner(pipe.read);
        released = owner.release();
        EXPECT_FALSE(owner);
    }
    EXPECT_EQ(released, pipe.read);
    EXPECT_TRUE(isOpen(released));
    ::close(pipe.read);
    ::close(pipe.write);
}
