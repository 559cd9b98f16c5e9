#include "skerrow/skerrow.h"

#include "skerrow/tests/scratchdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

bool isDir(const std::string& path)
{
    return fs::is_directory(fs::symlink_status(path));
}

} // namespace

TEST(CreateDirectory, CreatesEveryMissingLevel)
{
    TestFolder::TempFolder scratch("skerrow");
    EXPECT_TRUE(Vexa_CreateDirectory((scratch / "a/b/c").c_str()));
    EXPECT_TRUE(isDir(scratch / "a") && isDir(scratch / "a/b") && isDir(scratch / "a/b/c"));
    EXPECT_TRUE(Vexa_CreateDirectory((scratch / "a/b/c").c_str()));
    EXPECT_TRUE(Vexa_CreateDirectory((scratch / "a/x/").c_str()));
    EXPECT_TRUE(isDir(scratch / "a/x"));
}

TEST(CreateDirectory, RefusesFilesAndEmptyPaths)
{
    TestFolder::TempFolder scratch("skerrow");
    writeFile(scratch / "file");
    EXPECT_FALSE(Vexa_CreateDirectory((scratch / "file").c_str()));
    EXPECT_FALSE(Vexa_CreateDirectory((scratch / "file/below").c_str()));
    EXPECT_FALSE(exists(scratch / "file/below"));
    EXPECT_FALSE(Vexa_CreateDirectory(""));
    EXPECT_FALSE(Vexa_CreateDirectory(nullptr));
}

TEST(CreateDirectory, RelativePathsStartAtTheCurrentDirectory)
{
    TestFolder::TempFolder scratch("skerrow");
    CurrentDirectory inside(scratch.path());
    EXPECT_TRUE(Vexa_CreateDirectory("./one/two"));
    EXPECT_TRUE(isDir(scratch / "one/two"));
}

TEST(DeleteDirectory, RemovesAThreeLevelTree)
{
    TestFolder::TempFolder scratch("skerrow");
    const std::string root = scratch / "tree";
    fs::create_directories(root + "/l1a/l2a/l3");
    fs::create_directories(root + "/l1b/l2b");
    for (const char* file : {"/f0", "/l1a/f1", "/l1a/l2a/f2", "/l1a/l2a/l3/f3", "/l1b/l2b/f2b"})
        writeFile(root + file);
    EXPECT_EQ(0, Vexa_DeleteDirectory(root.c_str()));
    EXPECT_FALSE(exists(root));
    EXPECT_TRUE(isDir(scratch.path()));
}

TEST(DeleteDirectory, MissingNullAndSingleFile)
{
    TestFolder::TempFolder scratch("skerrow");
    EXPECT_EQ(0, Vexa_DeleteDirectory((scratch / "missing").c_str()));
    EXPECT_EQ(-1, Vexa_DeleteDirectory(nullptr));
    writeFile(scratch / "single");
    EXPECT_EQ(0, Vexa_DeleteDirectory((scratch / "single").c_str()));
    EXPECT_FALSE(exists(scratch / "single"));
}

TEST(DeleteDirectory, NeverFollowsALinkOutOfTheTree)
{
    TestFolder::TempFolder scratch("skerrow");
    const std::string outside = scratch / "outside";
    fs::create_directories(outside + "/deeper");
    writeFile(outside + "/precious");
    writeFile(outside + "/deeper/precious");
    const std::string tree = scratch / "tree";
    fs::create_directories(tree + "/sub");
    writeFile(tree + "/sub/own");
    fs::create_directory_symlink(outside, tree + "/sub/link");
    fs::create_symlink(outside + "/precious", tree + "/filelink");
    // A loop back to the tree's own top.
    fs::create_directory_symlink(tree, tree + "/sub/loop");

    EXPECT_EQ(0, Vexa_DeleteDirectory(tree.c_str()));
    EXPECT_FALSE(exists(tree));
    EXPECT_TRUE(exists(outside + "/precious"));
    EXPECT_TRUE(exists(outside + "/deeper/precious"));
}

TEST(DeleteDirectory, ALinkGivenAsThePathIsRemovedItself)
{
    TestFolder::TempFolder scratch("skerrow");
    fs::create_directories(scratch / "real");
    writeFile(scratch / "real/precious");
    fs::create_directory_symlink(scratch / "real", scratch / "link");
    EXPECT_EQ(0, Vexa_DeleteDirectory((scratch / "link").c_str()));
    EXPECT_FALSE(exists(scratch / "link"));
    EXPECT_TRUE(exists(scratch / "real/precious"));
}

TEST(DeleteDirectory, EntryThatIsNeitherFileNorDirectoryKeepsItsParent)
{
    TestFolder::TempFolder scratch("skerrow");
    const std::string tree = scratch / "tree";
    fs::create_directories(tree + "/sub");
    ASSERT_EQ(0, mkfifo((tree + "/sub/pipe").c_str(), 0600));
    writeFile(tree + "/file");
    testing::internal::CaptureStderr();
    EXPECT_EQ(-1, Vexa_DeleteDirectory(tree.c_str()));
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, errors.find("remove the dir " + tree + "/sub failed!"));
    EXPECT_TRUE(exists(tree + "/sub/pipe"));
    EXPECT_FALSE(exists(tree + "/file"));
}

TEST(ConvertToAbsPath, RewritesTheUserDirectoryVariable)
{
    TestFolder::TempFolder scratch("skerrow");
    CurrentDirectory inside(scratch.path());

    std::string whole = "$vexa_dir_user";
    EXPECT_EQ(1, Vexa_ConvertToAbsPath(&whole));
    EXPECT_EQ("./data/user_dir", whole);
    EXPECT_TRUE(isDir(scratch / "data/user_dir"));

    std::string file = "$VEXA_DIR_USER/a.txt";
    EXPECT_EQ(1, Vexa_ConvertToAbsPath(&file));
    EXPECT_EQ("./data/user_dir/a.txt", file);

    std::string backslash = "$Vexa_Dir_User\\b\\c";
    EXPECT_EQ(1, Vexa_ConvertToAbsPath(&backslash));
    EXPECT_EQ("./data/user_dir\\b\\c", backslash);

    for (const std::string left : {"$VEXA_DIR_USERX", "x$VEXA_DIR_USER", "$VEXA_DIR_USE", ""}) {
        std::string path = left;
        EXPECT_EQ(0, Vexa_ConvertToAbsPath(&path)) << left;
        EXPECT_EQ(left, path);
    }
    EXPECT_EQ(0, Vexa_ConvertToAbsPath(nullptr));
}

TEST(GetDirectory, FixedPathsAndCreatedOnes)
{
    TestFolder::TempFolder scratch("skerrow");
    CurrentDirectory inside(scratch.path());

    EXPECT_STREQ(".", Vexa_GetDirectory(0));
    EXPECT_STREQ("./config", Vexa_GetDirectory(1));
    EXPECT_STREQ("./project", Vexa_GetDirectory(3));
    EXPECT_FALSE(exists(scratch / "config"));
    EXPECT_FALSE(exists(scratch / "project"));
    for (unsigned type : {4u, 5u, 7u, 10u, 4000000000u})
        EXPECT_STREQ("", Vexa_GetDirectory(type)) << type;

    EXPECT_STREQ("./data/history_storage", Vexa_GetDirectory(9));
    EXPECT_TRUE(isDir(scratch / "data/history_storage"));
    EXPECT_STREQ("./data", Vexa_GetDirectory(2));
    EXPECT_STREQ("./export", Vexa_GetDirectory(6));
    EXPECT_TRUE(isDir(scratch / "export"));
    EXPECT_STREQ("./data/user_dir", Vexa_GetDirectory(8));
    EXPECT_TRUE(isDir(scratch / "data/user_dir"));
}

class DelSaveData : public testing::Test {
protected:
    void SetUp() override
    {
        base = scratch / "data";
        storage = base + "/history_storage";
        backup = storage + "_bak";
        fs::create_directories(storage);
        fs::create_directories(backup);
    }

    // Fills a storage folder with everything the clearing knows about.
    void fill(const std::string& folder)
    {
        for (const char* file : {"Vexa_HistoryAlarm.inf", "Vexa_HistoryAlarm.inf.tmp", "VEXA_OPERATION_LOG.inf",
                                 "VEXA_OPERATION_LOG.inf.tmp", "InitValueFile1.dat", "InitValueFile2.dat", "x.dat"})
            writeFile(folder + "/" + file);
        fs::create_directories(folder + "/Vexa_HistoryAlarm/day");
        writeFile(folder + "/Vexa_HistoryAlarm/day/log");
        fs::create_directories(folder + "/VEXA_OPERATION_LOG");
        fs::create_directories(folder + "/sub/deeper");
        writeFile(folder + "/sub/deeper/f");
    }

    TestFolder::TempFolder scratch{"skerrow"};
    std::string base;
    std::string storage;
    std::string backup;
};

TEST_F(DelSaveData, StorageClearingKeepsTheLogs)
{
    writeFile(storage + "/Vexa_HistoryAlarm.inf");
    writeFile(storage + "/x.dat");
    fs::create_directories(storage + "/sub");
    EXPECT_EQ(0, Vexa_DelSaveData(2, base.c_str()));
    EXPECT_TRUE(exists(storage + "/Vexa_HistoryAlarm.inf"));
    EXPECT_FALSE(exists(storage + "/x.dat"));
    EXPECT_FALSE(exists(storage + "/sub"));
    EXPECT_EQ(1, std::distance(fs::directory_iterator(storage), fs::directory_iterator()));
}

TEST_F(DelSaveData, ProtectedNamesAreKeptWhateverTheirCase)
{
    for (const char* file : {"vexa_historyalarm.INF", "Vexa_OPERATION_log.inf.TMP", "initvaluefile1.DAT",
                             "INITVALUEFILE2.dat", "other.inf"})
        writeFile(backup + "/" + file);
    fs::create_directories(backup + "/vexa_historyalarm");
    fs::create_directories(backup + "/vexa_operation_log");
    fs::create_directories(backup + "/history");
    EXPECT_EQ(0, Vexa_DelSaveData(2, (base + "/").c_str()));
    for (const char* kept : {"vexa_historyalarm.INF", "Vexa_OPERATION_log.inf.TMP", "initvaluefile1.DAT",
                             "INITVALUEFILE2.dat", "vexa_historyalarm", "vexa_operation_log"})
        EXPECT_TRUE(exists(backup + "/" + kept)) << kept;
    EXPECT_FALSE(exists(backup + "/other.inf"));
    EXPECT_FALSE(exists(backup + "/history"));
}

TEST_F(DelSaveData, LogsAndInitialValuesGoByTheirOwnFlags)
{
    fill(storage);
    fill(backup);
    EXPECT_EQ(0, Vexa_DelSaveData(4, base.c_str()));
    for (const std::string& folder : {storage, backup}) {
        for (const char* gone : {"Vexa_HistoryAlarm.inf", "Vexa_HistoryAlarm.inf.tmp", "VEXA_OPERATION_LOG.inf",
                                 "VEXA_OPERATION_LOG.inf.tmp", "Vexa_HistoryAlarm", "VEXA_OPERATION_LOG"})
            EXPECT_FALSE(exists(folder + "/" + gone)) << folder << " " << gone;
        EXPECT_TRUE(exists(folder + "/InitValueFile1.dat"));
        EXPECT_TRUE(exists(folder + "/x.dat"));
    }
    EXPECT_EQ(0, Vexa_DelSaveData(8, base.c_str()));
    for (const std::string& folder : {storage, backup}) {
        EXPECT_FALSE(exists(folder + "/InitValueFile1.dat"));
        EXPECT_FALSE(exists(folder + "/InitValueFile2.dat"));
        EXPECT_TRUE(exists(folder + "/x.dat"));
        EXPECT_TRUE(exists(folder + "/sub/deeper/f"));
    }
}

TEST_F(DelSaveData, RecipesAndUserFilesGoWhole)
{
    fs::create_directories(base + "/recipe/r1");
    writeFile(base + "/recipe/r1/a");
    fs::create_directories(base + "/user_dir/u");
    writeFile(base + "/user_dir/u/b");
    writeFile(storage + "/x.dat");
    EXPECT_EQ(0, Vexa_DelSaveData(1, base.c_str()));
    EXPECT_FALSE(exists(base + "/recipe"));
    EXPECT_TRUE(exists(base + "/user_dir/u/b"));
    EXPECT_EQ(0, Vexa_DelSaveData(16, base.c_str()));
    EXPECT_FALSE(exists(base + "/user_dir"));
    EXPECT_TRUE(exists(storage + "/x.dat"));
}

TEST_F(DelSaveData, EveryFlagWithoutADirectoryWorksUnderDotData)
{
    CurrentDirectory inside(scratch.path());
    fs::remove_all(base);
    EXPECT_EQ(0, Vexa_DelSaveData(31, nullptr));
    EXPECT_TRUE(isDir(base));

    fs::create_directories(storage);
    fill(storage);
    fs::create_directories(base + "/recipe");
    fs::create_directories(base + "/user_dir");
    EXPECT_EQ(0, Vexa_DelSaveData(31, nullptr));
    EXPECT_FALSE(exists(base + "/recipe"));
    EXPECT_FALSE(exists(base + "/user_dir"));
    EXPECT_TRUE(isDir(storage));
    EXPECT_EQ(0, std::distance(fs::directory_iterator(storage), fs::directory_iterator()));
}

TEST_F(DelSaveData, LinksInTheStorageAreRemovedNotFollowed)
{
    const std::string outside = scratch / "outside";
    fs::create_directories(outside);
    writeFile(outside + "/precious");
    fs::create_directory_symlink(outside, storage + "/linked");
    fs::create_directory_symlink(outside, backup + "/Vexa_HistoryAlarm");
    fs::create_directory_symlink(outside, base + "/user_dir");
    EXPECT_EQ(0, Vexa_DelSaveData(2 | 4 | 16, base.c_str()));
    EXPECT_FALSE(exists(storage + "/linked"));
    EXPECT_FALSE(exists(backup + "/Vexa_HistoryAlarm"));
    EXPECT_FALSE(exists(base + "/user_dir"));
    EXPECT_TRUE(exists(outside + "/precious"));
}

TEST_F(DelSaveData, EmptyDirectoryMeansTheCurrentOneNotTheRoot)
{
    CurrentDirectory inside(base);
    fs::create_directories(base + "/recipe");
    EXPECT_EQ(0, Vexa_DelSaveData(1, ""));
    EXPECT_FALSE(exists(base + "/recipe"));
}

TEST_F(DelSaveData, FailuresSetTheirBits)
{
    // A storage "folder" that is a fifo cannot be cleared; a recipe tree with
    // a fifo inside cannot be removed whole.
    fs::remove_all(storage);
    ASSERT_EQ(0, mkfifo(storage.c_str(), 0600));
    fs::create_directories(base + "/recipe");
    ASSERT_EQ(0, mkfifo((base + "/recipe/pipe").c_str(), 0600));
    testing::internal::CaptureStderr();
    EXPECT_EQ(1 | 2, Vexa_DelSaveData(1 | 2 | 8, base.c_str()));
    testing::internal::GetCapturedStderr();
}
