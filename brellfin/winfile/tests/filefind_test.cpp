#include "brellfin/winfile/filefind.h"

#include "brellfin/winfile/tests/tempdir.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

struct Listed {
    QStringList names;
    QStringList folders;
    QStringList system;
};

Listed list(const QString& pattern)
{
    Listed listed;
    CFileFind find;
    if (!find.FindFile(pattern))
        return listed;
    BOOL more = 1;
    while (more) {
        more = find.FindNextFile();
        EXPECT_FALSE(find.IsDots());
        EXPECT_EQ(find.GetFilePath(), pattern.left(pattern.lastIndexOf('/') + 1) + find.GetFileName());
        listed.names << find.GetFileName();
        if (find.IsDirectory())
            listed.folders << find.GetFileName();
        if (find.IsSystem())
            listed.system << find.GetFileName();
    }
    return listed;
}

TEST(CFileFind, ListsAFolderSortedWithoutDots)
{
    TempDir dir;
    ASSERT_TRUE(dir.valid());
    ASSERT_TRUE(TempDir::write(dir / "b.txt", "b"));
    ASSERT_TRUE(TempDir::write(dir / ".a", "a"));
    ASSERT_TRUE(TempDir::mkdir(dir / "sub"));
    ASSERT_TRUE(TempDir::link(dir / "sub", dir / "sub.lnk"));
    ASSERT_TRUE(TempDir::fifo(dir / "pipe"));

    const Listed listed = list(dir / "*.*");
    EXPECT_EQ(listed.names, QStringList({".a", "b.txt", "pipe", "sub", "sub.lnk"}));
    EXPECT_EQ(listed.folders, QStringList({"sub"}));
    EXPECT_EQ(listed.system, QStringList({"pipe", "sub.lnk"}));
    EXPECT_EQ(list(dir / "*").names, listed.names);
}

TEST(CFileFind, EmptyMissingOrLinkedFoldersListNothing)
{
    TempDir dir;
    ASSERT_TRUE(dir.valid());
    ASSERT_TRUE(TempDir::mkdir(dir / "empty"));
    ASSERT_TRUE(TempDir::mkdir(dir / "full"));
    ASSERT_TRUE(TempDir::write(dir / "full/x", "x"));
    ASSERT_TRUE(TempDir::link(dir / "full", dir / "full.lnk"));
    CFileFind find;
    EXPECT_FALSE(find.FindFile(dir / "empty/*.*"));
    EXPECT_FALSE(find.FindFile(dir / "missing/*.*"));
    EXPECT_FALSE(find.FindFile(dir / "full.lnk/*.*"));
    EXPECT_TRUE(find.FindFile(dir / "full/*.*"));
    find.Close();
    EXPECT_EQ(find.GetFileName(), QString());
}

TEST(CFileFind, LooksUpOnePathByName)
{
    TempDir dir;
    ASSERT_TRUE(dir.valid());
    ASSERT_TRUE(TempDir::mkdir(dir / "sub"));
    ASSERT_TRUE(TempDir::link(dir / "nowhere", dir / "dangling"));
    CFileFind find;
    ASSERT_TRUE(find.FindFile(dir / "sub"));
    EXPECT_EQ(find.FindNextFile(), 0);
    EXPECT_EQ(find.GetFileName(), QString("sub"));
    EXPECT_TRUE(find.IsDirectory());
    EXPECT_TRUE(find.FindFile(dir / "dangling"));
    EXPECT_FALSE(find.FindFile(dir / "nowhere"));
}

} // namespace
