#include "brellfin/winfile/localtree.h"

#include "brellfin/winfile/tests/tempdir.h"
#include "brellfin/winfile/winfile.h"

#include <gtest/gtest.h>

namespace {

class LocalTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.valid());
        // src: files, a nested folder, a link to an outside folder, a link
        // to a file, a link loop and a FIFO.
        ASSERT_TRUE(TempDir::mkdir(at("outside")));
        ASSERT_TRUE(TempDir::write(at("outside/keep.txt"), "keep"));
        ASSERT_TRUE(TempDir::mkdir(at("src")));
        ASSERT_TRUE(TempDir::write(at("src/a.txt"), "a"));
        ASSERT_TRUE(TempDir::mkdir(at("src/sub")));
        ASSERT_TRUE(TempDir::mkdir(at("src/sub/in")));
        ASSERT_TRUE(TempDir::write(at("src/sub/in/b.bin"), QByteArray(10000, 'b')));
        ASSERT_TRUE(TempDir::link(at("outside"), at("src/outside.lnk")));
        ASSERT_TRUE(TempDir::link(at("outside/keep.txt"), at("src/keep.lnk")));
        ASSERT_TRUE(TempDir::link(at("src/sub"), at("src/sub/in/loop")));
        ASSERT_TRUE(TempDir::fifo(at("src/pipe")));
    }
    QString at(const QString& name) const { return m_dir / name; }
    TempDir m_dir;
};

TEST_F(LocalTreeTest, CopyKeepsLinksAsLinksAndReadsNoFifo)
{
    EXPECT_EQ(LocalTree::copyLocalTree(at("src"), at("dst")), 1);
    EXPECT_EQ(TempDir::read(at("dst/a.txt")), "a");
    EXPECT_EQ(TempDir::read(at("dst/sub/in/b.bin")), QByteArray(10000, 'b'));
    EXPECT_TRUE(TempDir::isLink(at("dst/outside.lnk")));
    EXPECT_EQ(TempDir::linkTarget(at("dst/outside.lnk")), at("outside"));
    EXPECT_TRUE(TempDir::isLink(at("dst/keep.lnk")));
    EXPECT_TRUE(TempDir::isLink(at("dst/sub/in/loop")));
    EXPECT_FALSE(PathFileExistsW(at("dst/pipe")));
}

TEST_F(LocalTreeTest, CopyIntoItselfOrBelowIsRefused)
{
    EXPECT_EQ(LocalTree::copyLocalTree(at("src"), at("src/src-Copy(1)")), 0);
    EXPECT_FALSE(PathFileExistsW(at("src/src-Copy(1)")));
    EXPECT_EQ(LocalTree::copyLocalTree(at("src"), at("src/sub/in/x")), 0);
    EXPECT_FALSE(PathFileExistsW(at("src/sub/in/x")));
    EXPECT_EQ(LocalTree::copyLocalTree(at("src"), at("src")), 0);
    // Through a link that leads into the source, too.
    ASSERT_TRUE(TempDir::link(at("src/sub"), at("into-src")));
    EXPECT_EQ(LocalTree::copyLocalTree(at("src"), at("into-src/y")), 0);
    EXPECT_FALSE(PathFileExistsW(at("src/sub/y")));
    EXPECT_TRUE(LocalTree::isInsideFolder(at("src/sub"), at("src")));
    EXPECT_FALSE(LocalTree::isInsideFolder(at("src-2"), at("src")));
    EXPECT_EQ(LocalTree::copyLocalTree(QString(), at("x")), 0);
    EXPECT_EQ(LocalTree::copyLocalTree(at("src/a.txt"), at("x")), 0);
}

TEST_F(LocalTreeTest, DeleteRemovesLinksNotWhatTheyName)
{
    ASSERT_TRUE(TempDir::write(at("src/sub/locked.txt"), "r"));
    ASSERT_TRUE(TempDir::chmod(at("src/sub/locked.txt"), 0444));
    EXPECT_EQ(LocalTree::deleteLocalTree(at("src")), 1);
    EXPECT_FALSE(PathFileExistsW(at("src")));
    EXPECT_EQ(TempDir::read(at("outside/keep.txt")), "keep");
    EXPECT_EQ(LocalTree::deleteLocalTree(at("src")), 0);
    EXPECT_EQ(LocalTree::deleteLocalTree(at("outside/keep.txt")), 0);
    EXPECT_EQ(TempDir::read(at("outside/keep.txt")), "keep");
}

TEST_F(LocalTreeTest, DeleteOfALinkedFolderRefusesAndSparesIt)
{
    EXPECT_EQ(LocalTree::deleteLocalTree(at("src/outside.lnk")), 0);
    EXPECT_EQ(TempDir::read(at("outside/keep.txt")), "keep");
}

TEST_F(LocalTreeTest, CollectTakesRegularFilesAndLinksToThem)
{
    ASSERT_TRUE(TempDir::mkdir(at("src/.hidden")));
    ASSERT_TRUE(TempDir::write(at("src/.hidden/x"), "x"));
    ASSERT_TRUE(TempDir::write(at("src/.dotfile"), "d"));
    QStringList files;
    LocalTree::collectLocalFiles(at("src"), files);
    EXPECT_EQ(files, QStringList({at("src/.dotfile"), at("src/a.txt"), at("src/keep.lnk"), at("src/sub/in/b.bin")}));
}

} // namespace
