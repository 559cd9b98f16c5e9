// The remote path conversions and checks.
#include "brellfin/dialog/remotepaths.h"

#include <gtest/gtest.h>

namespace {

TEST(RemotePaths, ShownFormOfRealPaths)
{
    EXPECT_EQ(toShownPath("/storage/user_dir"), "/");
    EXPECT_EQ(toShownPath("/storage/user_dir/a/b"), "/a/b");
    EXPECT_EQ(toShownPath("/storage/user_dir/"), "/");
    EXPECT_EQ(toShownPath("/media/usb"), "/");
    EXPECT_EQ(toShownPath("/media/usb0"), "/");
    EXPECT_EQ(toShownPath("/media/usb0/x/y"), "/x/y");
    EXPECT_EQ(toShownPath("/tmp/x"), "/tmp/x");
    EXPECT_EQ(toShownPath(""), "");
}

TEST(RemotePaths, RealFormReplacesTheUserAreaName)
{
    EXPECT_EQ(toRealPath(QStringLiteral("用户文件区/a")), "/storage/user_dir/a");
    EXPECT_EQ(toRealPath(QStringLiteral("/a/用户文件区")), QStringLiteral("/a/用户文件区"));
}

TEST(RemotePaths, FolderTitles)
{
    EXPECT_EQ(folderTitle("/storage/user_dir", "/media/usb0"), QStringLiteral("用户文件区"));
    EXPECT_EQ(folderTitle("/STORAGE/USER_DIR", "/media/usb0"), QStringLiteral("用户文件区"));
    EXPECT_EQ(folderTitle("/media/USB0", "/media/usb0"), QStringLiteral("U盘"));
    EXPECT_EQ(folderTitle("/storage/user_dir/a/b", "/storage/user_dir"), "b");
    EXPECT_EQ(folderTitle("/media/usb0/x", "/media/usb0"), "x");
    EXPECT_EQ(folderTitle("plain", "/media/usb0"), "plain");
}

TEST(RemotePaths, ShortenAfterThirtyCharacters)
{
    const QString thirty(30, 'a');
    EXPECT_EQ(shortenForDisplay(thirty), thirty);
    EXPECT_EQ(shortenForDisplay(thirty + "b"), thirty + ". . .");
}

TEST(RemotePaths, ValidityAfterNormalising)
{
    QString path = "/a//b\\c/";
    EXPECT_TRUE(isValidRemotePath(path));
    EXPECT_EQ(path, "/a/b/c/");
    for (QString bad : {"/x/../y/", "/x/./y", "../x", "/x/..", "/x\\..\\y", "/x//..//y"})
        EXPECT_FALSE(isValidRemotePath(bad)) << bad.toStdString();
    QString dots = "/x/..y/";
    EXPECT_TRUE(isValidRemotePath(dots));
}

TEST(RemotePaths, DottedQuadsOnly)
{
    EXPECT_TRUE(isDottedQuad("127.0.0.1"));
    EXPECT_TRUE(isDottedQuad("255.255.255.255"));
    for (const char* bad :
         {"1.2.3", "300.1.1.1", "1.2.3.4.5", "1..2.3", "a.b.c.d", "", "1.2.3.-4", "1.2.3.4 ", "0001.2.3.4"})
        EXPECT_FALSE(isDottedQuad(bad)) << bad;
}

} // namespace
