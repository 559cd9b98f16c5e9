#include "platform/fd/privatefile.h"

#include "testing/main/privatetmpfs.h"
#include "testing/main/tempfolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

bool write(const std::string& path, const std::string& bytes)
{
    return platform::writePrivateFile(path, bytes.data(), bytes.size());
}

std::string readAll(const std::string& path)
{
    std::string got;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return "<missing>";
    char buf[65536];
    ssize_t n = 0;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        got.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return got;
}

std::set<std::string> namesIn(const std::string& folder)
{
    std::set<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(dir)) {
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                names.insert(e->d_name);
        }
        ::closedir(dir);
    }
    return names;
}

mode_t modeOf(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_mode : 0;
}

// Fills the file system below `path` until at most `spareBlocks` of 4096
// bytes are left; returns how many are left (-1 when it could not write).
long long fillUpTo(const std::string& path, long long spareBlocks)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    const std::string block(4096, 'f');
    long long left = -1;
    for (;;) {
        struct ::statvfs info {};
        if (::fstatvfs(fd, &info) != 0)
            break;
        left = static_cast<long long>(info.f_bavail) * static_cast<long long>(info.f_frsize) / 4096;
        if (left <= spareBlocks || ::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size()))
            break;
    }
    ::close(fd);
    return left;
}

} // namespace

TEST(PrivateFile, ANewFileHoldsTheBytesForItsOwnerOnlyWhateverTheUmask)
{
    for (const mode_t mask : {mode_t(0), mode_t(0277)}) {
        TestFolder::TempFolder folder("privatefile");
        const std::string path = folder / "key";
        const mode_t oldMask = ::umask(mask);
        const bool made = write(path, std::string("user\npass\0word", 14));
        ::umask(oldMask);
        ASSERT_TRUE(made) << std::strerror(errno);
        EXPECT_EQ(readAll(path), std::string("user\npass\0word", 14));
        EXPECT_EQ(modeOf(path) & 07777, 0600u) << "umask " << std::oct << mask;
        EXPECT_EQ(namesIn(folder.path()), std::set<std::string>{"key"}) << "a temporary file was left behind";

        ASSERT_TRUE(write(path, ""));
        EXPECT_EQ(readAll(path), "");
    }
}

TEST(PrivateFile, AnOldFileIsReplacedWholeAndLosesItsWiderMode)
{
    TestFolder::TempFolder folder("privatefile");
    const std::string path = folder / "state";
    ASSERT_TRUE(write(path, std::string(100000, 'o')));
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    ASSERT_TRUE(write(path, "new"));
    EXPECT_EQ(readAll(path), "new");
    EXPECT_EQ(modeOf(path) & 07777, 0600u);
}

TEST(PrivateFile, ALinkPlantedAtThePathIsReplacedNeverFollowed)
{
    TestFolder::TempFolder folder("privatefile");
    const std::string victim = folder / "victim";
    ASSERT_TRUE(write(victim, "untouched"));
    const std::string path = folder / "config";
    ASSERT_EQ(::symlink(victim.c_str(), path.c_str()), 0);
    ASSERT_TRUE(write(path, "mine"));
    EXPECT_TRUE(S_ISREG(modeOf(path)));
    EXPECT_EQ(readAll(path), "mine");
    EXPECT_EQ(readAll(victim), "untouched");
}

TEST(PrivateFile, AMissingFolderFailsAndMakesNothing)
{
    TestFolder::TempFolder folder("privatefile");
    errno = 0;
    EXPECT_FALSE(write(folder / "absent/key", "x"));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_TRUE(namesIn(folder.path()).empty());
}

TEST(PrivateFile, AFullDiskHalfWayLeavesTheOldFileWholeAndNoTemporary)
{
    TestFolder::TempFolder folder("privatefile");
    const std::string data = folder / "data";
    ASSERT_EQ(::mkdir(data.c_str(), 0700), 0);
    TestLimits::PrivateTmpfs disk(data, "1M");
    if (!disk.mounted())
        GTEST_SKIP() << "no file system of the test's own to fill: " << disk.why();
    const std::string path = data + "/devices";
    const std::string old = "the old list\n" + std::string(5000, 'o');
    ASSERT_TRUE(write(path, old));

    // A few blocks are left: the front of the new contents fits, the rest not.
    const std::string filler = data + "/filler";
    const long long spare = fillUpTo(filler, 3);
    ASSERT_GE(spare, 1);
    ASSERT_LE(spare, 3);
    const std::string larger(16 * 4096, 'n');
    errno = 0;
    EXPECT_FALSE(write(path, larger));
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_EQ(readAll(path), old) << "the old file was cut or replaced";
    EXPECT_EQ(modeOf(path) & 07777, 0600u);
    EXPECT_EQ(namesIn(data), (std::set<std::string>{"devices", "filler"})) << "a temporary file was left behind";

    // With room again the new contents go in whole.
    ASSERT_EQ(::unlink(filler.c_str()), 0);
    ASSERT_TRUE(write(path, larger)) << std::strerror(errno);
    EXPECT_EQ(readAll(path), larger);
}
