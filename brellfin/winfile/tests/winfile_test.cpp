#include "brellfin/winfile/winfile.h"

#include "brellfin/winfile/tests/tempdir.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

class WinFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.valid()); }
    QString at(const QString& name) const { return m_dir / name; }
    TempDir m_dir;
};

TEST_F(WinFile, AttributesCarryTheWindowsBits)
{
    ASSERT_TRUE(TempDir::write(at("plain.txt"), "x"));
    ASSERT_TRUE(TempDir::write(at(".hidden"), "x"));
    ASSERT_TRUE(TempDir::write(at("locked.txt"), "x"));
    ASSERT_TRUE(TempDir::chmod(at("locked.txt"), 0444));
    ASSERT_TRUE(TempDir::mkdir(at("folder")));
    ASSERT_TRUE(TempDir::mkdir(at(".cache")));
    ASSERT_TRUE(TempDir::fifo(at("pipe")));

    EXPECT_EQ(GetFileAttributesW(at("plain.txt")), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesW(at(".hidden")), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(GetFileAttributesW(at("locked.txt")), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(GetFileAttributesW(at("folder")), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesW(at("folder/")), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(GetFileAttributesW(at(".cache")), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(GetFileAttributesW(at("pipe")), FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(GetFileAttributesW(at("missing")), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(QString()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(WinFile, OnlyALinkToARegularFileIsAFile)
{
    ASSERT_TRUE(TempDir::write(at("target.txt"), "x"));
    ASSERT_TRUE(TempDir::write(at("locked.txt"), "x"));
    ASSERT_TRUE(TempDir::chmod(at("locked.txt"), 0444));
    ASSERT_TRUE(TempDir::mkdir(at("folder")));
    ASSERT_TRUE(TempDir::fifo(at("pipe")));
    ASSERT_TRUE(TempDir::link(at("target.txt"), at("file.lnk")));
    ASSERT_TRUE(TempDir::link(at("locked.txt"), at("locked.lnk")));
    ASSERT_TRUE(TempDir::link(at("folder"), at("folder.lnk")));
    ASSERT_TRUE(TempDir::link(at("pipe"), at("pipe.lnk")));
    ASSERT_TRUE(TempDir::link(at("nowhere"), at("dangling.lnk")));
    ASSERT_TRUE(TempDir::link(at("loop.lnk"), at("loop.lnk")));

    EXPECT_EQ(GetFileAttributesW(at("file.lnk")), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(GetFileAttributesW(at("locked.lnk")), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(GetFileAttributesW(at("folder.lnk")), FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(GetFileAttributesW(at("pipe.lnk")), FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(GetFileAttributesW(at("dangling.lnk")), FILE_ATTRIBUTE_SYSTEM);
    EXPECT_EQ(GetFileAttributesW(at("loop.lnk")), FILE_ATTRIBUTE_SYSTEM);
    EXPECT_TRUE(PathFileExistsW(at("dangling.lnk")));
    EXPECT_TRUE(PathFileExistsW(at("loop.lnk")));
    EXPECT_FALSE(PathFileExistsW(at("nowhere")));
    EXPECT_FALSE(PathFileExistsW(QString()));
}

TEST_F(WinFile, CreateDirectoryFailsOnAnythingExisting)
{
    ASSERT_TRUE(TempDir::write(at("file"), "x"));
    ASSERT_TRUE(TempDir::link(at("nowhere"), at("dangling")));
    EXPECT_TRUE(CreateDirectoryW(at("new")));
    EXPECT_EQ(GetFileAttributesW(at("new")), FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_FALSE(CreateDirectoryW(at("new")));
    EXPECT_FALSE(CreateDirectoryW(at("file")));
    EXPECT_FALSE(CreateDirectoryW(at("dangling")));
    EXPECT_FALSE(PathFileExistsW(at("nowhere")));
    EXPECT_FALSE(CreateDirectoryW(at("a/b")));
    EXPECT_FALSE(CreateDirectoryW(QString()));
}

TEST_F(WinFile, CopyKeepsBytesAndModeAndCanRefuseAnExistingTarget)
{
    QByteArray bytes;
    for (int i = 0; i < 200000; ++i)
        bytes.append(char(i * 7));
    ASSERT_TRUE(TempDir::write(at("a.bin"), bytes));
    ASSERT_TRUE(TempDir::chmod(at("a.bin"), 0640));
    ASSERT_TRUE(TempDir::write(at("old.bin"), "old"));
    ASSERT_TRUE(TempDir::link(at("nowhere"), at("dangling")));

    EXPECT_TRUE(CopyFileW(at("a.bin"), at("b.bin"), 1));
    EXPECT_EQ(TempDir::read(at("b.bin")), bytes);
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(at("b.bin")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);

    EXPECT_FALSE(CopyFileW(at("a.bin"), at("old.bin"), 1));
    EXPECT_EQ(TempDir::read(at("old.bin")), "old");
    EXPECT_FALSE(CopyFileW(at("a.bin"), at("dangling"), 1));
    EXPECT_FALSE(PathFileExistsW(at("nowhere")));

    EXPECT_TRUE(CopyFileW(at("a.bin"), at("old.bin"), 0));
    EXPECT_EQ(TempDir::read(at("old.bin")), bytes);
    EXPECT_FALSE(CopyFileW(at("a.bin"), at("a.bin"), 0));
    EXPECT_EQ(TempDir::read(at("a.bin")), bytes);
    EXPECT_FALSE(CopyFileW(at("missing"), at("c.bin"), 0));
    EXPECT_FALSE(PathFileExistsW(at("c.bin")));
}

TEST_F(WinFile, CopyKeepsALinkALinkAndNeverWritesThroughOne)
{
    ASSERT_TRUE(TempDir::mkdir(at("outside")));
    ASSERT_TRUE(TempDir::write(at("outside/keep.txt"), "keep"));
    ASSERT_TRUE(TempDir::link(at("outside"), at("folder.lnk")));
    ASSERT_TRUE(TempDir::link(at("outside/keep.txt"), at("keep.lnk")));
    ASSERT_TRUE(TempDir::write(at("new.txt"), "new"));

    EXPECT_TRUE(CopyFileW(at("folder.lnk"), at("copy.lnk"), 1));
    EXPECT_TRUE(TempDir::isLink(at("copy.lnk")));
    EXPECT_EQ(TempDir::linkTarget(at("copy.lnk")), at("outside"));
    EXPECT_FALSE(CopyFileW(at("folder.lnk"), at("copy.lnk"), 1));

    // Replacing a link replaces the link, not the file it names.
    EXPECT_TRUE(CopyFileW(at("keep.lnk"), at("copy.lnk"), 0));
    EXPECT_EQ(TempDir::linkTarget(at("copy.lnk")), at("outside/keep.txt"));
    EXPECT_FALSE(CopyFileW(at("new.txt"), at("keep.lnk"), 0));
    EXPECT_EQ(TempDir::read(at("outside/keep.txt")), "keep");
    EXPECT_TRUE(TempDir::isLink(at("keep.lnk")));
}

TEST_F(WinFile, CopyReadsOnlyRegularFiles)
{
    ASSERT_TRUE(TempDir::fifo(at("pipe")));
    ASSERT_TRUE(TempDir::mkdir(at("folder")));
    bool copied = true;
    std::thread copier([&] { copied = CopyFileW(at("pipe"), at("out"), 0); });
    copier.join();
    EXPECT_FALSE(copied);
    EXPECT_FALSE(PathFileExistsW(at("out")));
    EXPECT_FALSE(CopyFileW(at("folder"), at("out"), 0));
    EXPECT_FALSE(PathFileExistsW(at("out")));
}

TEST_F(WinFile, DeleteAndRemoveNeverFollowALink)
{
    ASSERT_TRUE(TempDir::mkdir(at("outside")));
    ASSERT_TRUE(TempDir::write(at("outside/keep.txt"), "keep"));
    ASSERT_TRUE(TempDir::mkdir(at("empty")));
    ASSERT_TRUE(TempDir::link(at("outside/keep.txt"), at("file.lnk")));
    ASSERT_TRUE(TempDir::link(at("empty"), at("empty.lnk")));

    EXPECT_FALSE(RemoveDirectoryW(at("empty.lnk")));
    EXPECT_FALSE(RemoveDirectoryW(at("empty.lnk/")));
    EXPECT_TRUE(PathFileExistsW(at("empty")));
    EXPECT_FALSE(DeleteFileW(at("empty")));
    EXPECT_TRUE(DeleteFileW(at("empty.lnk")));
    EXPECT_TRUE(PathFileExistsW(at("empty")));
    EXPECT_TRUE(DeleteFileW(at("file.lnk")));
    EXPECT_FALSE(PathFileExistsW(at("file.lnk")));
    EXPECT_EQ(TempDir::read(at("outside/keep.txt")), "keep");
    EXPECT_FALSE(RemoveDirectoryW(at("outside")));
    EXPECT_TRUE(RemoveDirectoryW(at("empty")));
    EXPECT_FALSE(PathFileExistsW(at("empty")));
    EXPECT_FALSE(DeleteFileW(at("missing")));
}

TEST_F(WinFile, SetAttributesTogglesOwnerWriteOfRegularFilesOnly)
{
    ASSERT_TRUE(TempDir::write(at("a.txt"), "a"));
    ASSERT_TRUE(TempDir::write(at("outside.txt"), "o"));
    ASSERT_TRUE(TempDir::chmod(at("outside.txt"), 0444));
    ASSERT_TRUE(TempDir::link(at("outside.txt"), at("o.lnk")));
    EXPECT_TRUE(SetFileAttributesW(at("a.txt"), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(GetFileAttributesW(at("a.txt")), FILE_ATTRIBUTE_READONLY);
    EXPECT_TRUE(SetFileAttributesW(at("a.txt"), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesW(at("a.txt")), FILE_ATTRIBUTE_NORMAL);
    EXPECT_TRUE(SetFileAttributesW(at("o.lnk"), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(GetFileAttributesW(at("outside.txt")), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(SetFileAttributesW(at("missing"), FILE_ATTRIBUTE_NORMAL));
}

TEST_F(WinFile, RenameNeverReplaces)
{
    ASSERT_TRUE(TempDir::write(at("a.txt"), "a"));
    ASSERT_TRUE(TempDir::write(at("b.txt"), "b"));
    ASSERT_TRUE(TempDir::link(at("nowhere"), at("dangling")));
    EXPECT_EQ(_wrename(at("a.txt"), at("b.txt")), -1);
    EXPECT_EQ(_wrename(at("a.txt"), at("dangling")), -1);
    EXPECT_EQ(TempDir::read(at("a.txt")), "a");
    EXPECT_EQ(TempDir::read(at("b.txt")), "b");
    EXPECT_TRUE(TempDir::isLink(at("dangling")));
    EXPECT_EQ(_wrename(at("a.txt"), at("c.txt")), 0);
    EXPECT_FALSE(PathFileExistsW(at("a.txt")));
    EXPECT_EQ(TempDir::read(at("c.txt")), "a");
    EXPECT_EQ(_wrename(at("dangling"), at("moved")), 0);
    EXPECT_TRUE(TempDir::isLink(at("moved")));
    EXPECT_EQ(_wrename(at("missing"), at("x")), -1);
    EXPECT_EQ(_wrename(QString(), at("x")), -1);
}

} // namespace
