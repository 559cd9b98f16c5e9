#include "brellfin/profile/profilefile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

// Written the way Notepad and the Windows profile functions leave such files.
const QByteArray kWindowsIni = "; settings of the tool\r\n"
                               "[SystemVars]\r\n"
                               "  languageVALUE =  2052  \r\n"
                               "Quoted = \"  C:\\Program Files\\x  \"\r\n"
                               "Single='it'\r\n"
                               "\r\n"
                               "[IP]\r\n"
                               "ipInfo=192.168.1.10\r\n"
                               "connect_type = usb\r\n"
                               "\r\n"
                               "[Path]\r\n"
                               "CurPath=/storage/user_dir/项目\r\n";

TEST(ProfileFile, WindowsWrittenFileReadsWithoutCaseBlanksOrQuotes)
{
    EXPECT_EQ(ProfileFile::findValue(kWindowsIni, "systemvars", "LanguageValue"), QString("2052"));
    EXPECT_EQ(ProfileFile::findValue(kWindowsIni, "SYSTEMVARS", "quoted"), QString("  C:\\Program Files\\x  "));
    EXPECT_EQ(ProfileFile::findValue(kWindowsIni, "SystemVars", "single"), QString("it"));
    EXPECT_EQ(ProfileFile::findValue(kWindowsIni, "ip", "CONNECT_TYPE"), QString("usb"));
    EXPECT_EQ(ProfileFile::findValue(kWindowsIni, "Path", "CurPath"), QString::fromUtf8("/storage/user_dir/项目"));
    // A key of another section, a missing key and a comment are not found.
    EXPECT_FALSE(ProfileFile::findValue(kWindowsIni, "Path", "ipInfo"));
    EXPECT_FALSE(ProfileFile::findValue(kWindowsIni, "ip", "missing"));
    EXPECT_FALSE(ProfileFile::findValue(kWindowsIni, "SystemVars", "; settings of the tool"));
}

TEST(ProfileFile, ByteOrderMarkAndBareNewlinesAreAccepted)
{
    const QByteArray content = "\xEF\xBB\xBF[SystemVars]\nLanguageValue=1033\n";
    EXPECT_EQ(ProfileFile::findValue(content, "SystemVars", "LanguageValue"), QString("1033"));
}

TEST(ProfileFile, CrLfAndCrlfFilesReadTheSameKeys)
{
    QByteArray lf = kWindowsIni;
    lf.replace("\r\n", "\n");
    QByteArray cr = kWindowsIni;
    cr.replace("\r\n", "\r");
    // Each kind of line end, mixed in one file.
    const QByteArray mixed = "[SystemVars]\rLanguageValue=2052\n[IP]\r\nipInfo=192.168.1.10\rconnect_type = usb\n"
                             "[Path]\rCurPath=/storage/user_dir/项目";
    for (const QByteArray& content : {kWindowsIni, lf, cr, mixed}) {
        SCOPED_TRACE(content.toStdString());
        EXPECT_EQ(ProfileFile::findValue(content, "SystemVars", "LanguageValue"), QString("2052"));
        EXPECT_EQ(ProfileFile::findValue(content, "ip", "ipInfo"), QString("192.168.1.10"));
        EXPECT_EQ(ProfileFile::findValue(content, "ip", "connect_type"), QString("usb"));
        EXPECT_EQ(ProfileFile::findValue(content, "Path", "CurPath"), QString::fromUtf8("/storage/user_dir/项目"));
        // A key is never read out of the next section's header line.
        EXPECT_FALSE(ProfileFile::findValue(content, "ip", "CurPath"));
    }
}

TEST(ProfileFile, AKeyWrittenAfterALoneCrReadsBack)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("ip_config.ini");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[ip]\ripInfo=10.0.0.1\r");
    file.close();

    // A new section after the last line, a new key in an existing section,
    // and a changed key: each reads back, and so does everything before.
    ASSERT_TRUE(ProfileFile::writeString(path, "Path", "CurPath", "/storage/user_dir/a"));
    EXPECT_EQ(ProfileFile::readString(path, "Path", "CurPath"), "/storage/user_dir/a");
    ASSERT_TRUE(ProfileFile::writeString(path, "ip", "connect_type", "usb"));
    ASSERT_TRUE(ProfileFile::writeString(path, "ip", "ipInfo", "10.0.0.2"));
    EXPECT_EQ(ProfileFile::readString(path, "ip", "connect_type"), "usb");
    EXPECT_EQ(ProfileFile::readString(path, "ip", "ipInfo"), "10.0.0.2");
    EXPECT_EQ(ProfileFile::readString(path, "Path", "CurPath"), "/storage/user_dir/a");

    // The lines that were there keep their own ends.
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              QByteArray("[ip]\ripInfo=10.0.0.2\rconnect_type=usb\r\n[Path]\r\nCurPath=/storage/user_dir/a\r\n"));
}

TEST(ProfileFile, RewritingOneKeyKeepsEveryOtherLineByteForByte)
{
    const QByteArray out = ProfileFile::withValue(kWindowsIni, "ip", "IPINFO", "10.0.0.7");
    QByteArray expected = kWindowsIni;
    expected.replace("ipInfo=192.168.1.10\r\n", "IPINFO=10.0.0.7\r\n");
    EXPECT_EQ(out, expected);
}

TEST(ProfileFile, MissingKeyGoesAfterTheSectionsLastLine)
{
    const QByteArray out = ProfileFile::withValue(kWindowsIni, "IP", "extra", "1");
    QByteArray expected = kWindowsIni;
    expected.replace("connect_type = usb\r\n", "connect_type = usb\r\nextra=1\r\n");
    EXPECT_EQ(out, expected);
}

TEST(ProfileFile, MissingSectionIsAppendedWithCrlf)
{
    EXPECT_EQ(ProfileFile::withValue("[a]\nx=1", "b", "y", "2"), QByteArray("[a]\nx=1\r\n[b]\r\ny=2\r\n"));
    EXPECT_EQ(ProfileFile::withValue("", "ip", "ipInfo", "1.2.3.4"), QByteArray("[ip]\r\nipInfo=1.2.3.4\r\n"));
    // A key in the last section without a final newline.
    EXPECT_EQ(ProfileFile::withValue("[a]\r\nx=1", "A", "z", "3"), QByteArray("[a]\r\nx=1\r\nz=3\r\n"));
}

TEST(ProfileFile, FileRoundTripThroughTheFileSystem)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("ip_config.ini");
    EXPECT_EQ(ProfileFile::readString(path, "ip", "ipInfo", "none"), "none");
    ASSERT_TRUE(ProfileFile::writeString(path, "ip", "ipInfo", "192.168.0.5"));
    ASSERT_TRUE(ProfileFile::writeString(path, "Path", "CurPath", QString::fromUtf8("/media/usb0/数据")));
    ASSERT_TRUE(ProfileFile::writeString(path, "ip", "ipInfo", "192.168.0.6"));
    EXPECT_EQ(ProfileFile::readString(path, "IP", "IPINFO"), "192.168.0.6");
    EXPECT_EQ(ProfileFile::readString(path, "path", "curpath"), QString::fromUtf8("/media/usb0/数据"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("[ip]\r\nipInfo=192.168.0.6\r\n[Path]\r\nCurPath=/media/usb0/数据\r\n"));
    // Only the file itself remains: the temporary file was renamed over it.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"ip_config.ini"});
}

TEST(ProfileFile, UnwritableFolderFailsTheWrite)
{
    EXPECT_FALSE(ProfileFile::writeString("/proc/no-such-folder/x.ini", "a", "b", "c"));
}

} // namespace
