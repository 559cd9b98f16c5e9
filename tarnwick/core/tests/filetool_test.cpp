#include "tarnwick/core/filetool.h"

#include "tarnwick/core/androidbeats.h"
#include "testing/main/filesizelimit.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(FileTool, CopyCreatesTheFolderAndReplacesAnExistingFile)
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("src.txt"));
    writeBytes(src, "new contents\r\n");
    const QString dst = dir.filePath(QStringLiteral("a/b/c/dst.txt"));
    EXPECT_TRUE(FileTool::copyFile(src, dst));
    EXPECT_EQ(readAll(dst), QByteArray("new contents\r\n"));
    writeBytes(dst, "old and longer contents");
    EXPECT_TRUE(FileTool::copyFile(src, dst));
    EXPECT_EQ(readAll(dst), QByteArray("new contents\r\n"));
}

TEST(FileTool, CopyOntoItselfKeepsTheFile)
{
    QTemporaryDir dir;
    const QString src = dir.filePath(QStringLiteral("data/log.txt"));
    QDir().mkpath(dir.filePath(QStringLiteral("data")));
    writeBytes(src, "keep me");
    EXPECT_TRUE(FileTool::copyFile(src, dir.filePath(QStringLiteral("data/./log.txt"))));
    EXPECT_TRUE(FileTool::copyFile(src, dir.filePath(QStringLiteral("data/../data/log.txt"))));
    EXPECT_EQ(readAll(src), QByteArray("keep me"));
}

TEST(FileTool, FailedCopyLeavesTheDestinationAlone)
{
    QTemporaryDir dir;
    const QString dst = dir.filePath(QStringLiteral("dst.txt"));
    writeBytes(dst, "precious");
    EXPECT_FALSE(FileTool::copyFile(dir.filePath(QStringLiteral("missing.txt")), dst));
    EXPECT_EQ(readAll(dst), QByteArray("precious"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("dst.txt")});
}

TEST(FileTool, WriteFileIsUtf8WithoutBomAndAppends)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x/y.txt"));
    EXPECT_TRUE(FileTool::writeFile(path, QString::fromUtf8("调试\r\n"), false));
    EXPECT_TRUE(FileTool::writeFile(path, QStringLiteral("b"), true));
    EXPECT_EQ(readAll(path), QByteArray("\xe8\xb0\x83\xe8\xaf\x95\r\nb"));
    EXPECT_TRUE(FileTool::writeFile(path, QStringLiteral("c"), false));
    EXPECT_EQ(readAll(path), QByteArray("c"));
    // A folder where the file should be.
    EXPECT_FALSE(FileTool::writeFile(dir.path(), QStringLiteral("c"), false));
    EXPECT_FALSE(FileTool::writeFile(dir.path(), QStringLiteral("c"), true));
}

TEST(FileTool, AppendThatDoesNotFitIsAFailure)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data/log.txt"));
    ASSERT_TRUE(FileTool::writeFile(path, QStringLiteral("first line\r\n"), true));
    const QString big(1050000, QLatin1Char('x'));
    {
        // The disk is full after 573,440 bytes: the append is cut short.
        TestLimits::FileSizeLimit limit(573440);
        ASSERT_TRUE(limit.active()) << "the file-size limit cannot be lowered";
        EXPECT_TRUE(FileTool::writeFile(path, QStringLiteral("still fits\r\n"), true));
        EXPECT_FALSE(FileTool::writeFile(path, big, true));
        // The part that went in is cut off again: whole lines only.
        EXPECT_EQ(readAll(path), QByteArray("first line\r\nstill fits\r\n"));
        EXPECT_TRUE(FileTool::writeFile(path, QStringLiteral("short\r\n"), true));
        EXPECT_EQ(readAll(path), QByteArray("first line\r\nstill fits\r\nshort\r\n"));
    }
    EXPECT_TRUE(FileTool::writeFile(path, QStringLiteral("after\r\n"), true));
    EXPECT_TRUE(readAll(path).endsWith("after\r\n"));
}

TEST(FileTool, ReadFileHeadAndTail)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ten.txt"));
    writeBytes(path, "0123456\r\n9");
    QString out = QStringLiteral("untouched");
    EXPECT_TRUE(FileTool::readFile(path, 0, true, out));
    EXPECT_EQ(out, QStringLiteral("untouched"));
    EXPECT_FALSE(FileTool::readFile(path, -1, true, out));
    EXPECT_EQ(out, QStringLiteral("untouched"));
    EXPECT_TRUE(FileTool::readFile(path, 4, false, out));
    EXPECT_EQ(out, QStringLiteral("6\r\n9"));
    EXPECT_TRUE(FileTool::readFile(path, 4, true, out));
    EXPECT_EQ(out, QStringLiteral("0123"));
    EXPECT_TRUE(FileTool::readFile(path, 20, false, out));
    EXPECT_EQ(out, QStringLiteral("0123456\r\n9"));
    out = QStringLiteral("untouched");
    EXPECT_FALSE(FileTool::readFile(dir.filePath(QStringLiteral("none")), 4, true, out));
    EXPECT_EQ(out, QStringLiteral("untouched"));
    writeBytes(path, QByteArray("ab\0cd", 5));
    EXPECT_TRUE(FileTool::readFile(path, 5, true, out));
    EXPECT_EQ(out, QStringLiteral("ab"));
}

TEST(FileTool, CsvFieldQuoting)
{
    EXPECT_EQ(FileTool::escapeCsvField(QStringLiteral("abc123")), QStringLiteral("abc123"));
    EXPECT_EQ(FileTool::escapeCsvField(QStringLiteral("a,b")), QStringLiteral("\"a,b\""));
    EXPECT_EQ(FileTool::escapeCsvField(QStringLiteral("a\rb")), QStringLiteral("\"a\rb\""));
    EXPECT_EQ(FileTool::escapeCsvField(QStringLiteral("a\nb")), QStringLiteral("\"a\nb\""));
    EXPECT_EQ(FileTool::escapeCsvField(QStringLiteral("say \"hi\"")), QStringLiteral("\"say \"\"hi\"\"\""));
    EXPECT_EQ(FileTool::toCsvText(QString()), QString());
    EXPECT_EQ(FileTool::toCsvText(QStringLiteral("192.168.1.5")), QStringLiteral("'192.168.1.5'"));
    EXPECT_EQ(FileTool::toCsvText(QStringLiteral("a,b")), QStringLiteral("\"'a,b'\""));
    EXPECT_EQ(FileTool::fromCsvText(QStringLiteral("'192.168.1.5'")), QStringLiteral("192.168.1.5"));
    EXPECT_EQ(FileTool::fromCsvText(QStringLiteral("'")), QStringLiteral("'"));
    EXPECT_EQ(FileTool::fromCsvText(QStringLiteral("''")), QString());
    EXPECT_EQ(FileTool::fromCsvText(QStringLiteral("'a")), QStringLiteral("'a"));
    EXPECT_EQ(FileTool::currentDir(), QStringLiteral("./"));
}

TEST(AndroidBeats, EveryPackageCountsAsInstalled)
{
    EXPECT_TRUE(AndroidBeats::isApkInstalled(QStringLiteral("de.blinkt.openvpn")));
    EXPECT_TRUE(AndroidBeats::isApkInstalled(QString()));
    QObject parent;
    AndroidBeats* a = AndroidBeats::instance(&parent);
    EXPECT_EQ(a->parent(), &parent);
    EXPECT_EQ(AndroidBeats::instance(), a);
}
