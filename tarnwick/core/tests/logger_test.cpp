#include "tarnwick/core/logger.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/core/filetool.h"
#include "tarnwick/core/loghandler.h"
#include "testing/main/eventwait.h"
#include "testing/main/privatetmpfs.h"

#include <gtest/gtest.h>

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

TEST(Logger, LinesCarryTheTimeAndCrLf)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("data/log.txt"));
    {
        Logger logger(path);
        logger.appendLine(QString::fromUtf8("第一行"));
        logger.appendLine(QStringLiteral("second"));
        EXPECT_FALSE(QFile::exists(path)); // nothing reaches the disk before a flush
        logger.flush();
    }
    const QString text = QString::fromUtf8(readAll(path));
    static const QRegularExpression line(
        QStringLiteral("^\\[\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\] 第一行\r\n\\[\\d{4}/\\d{2}/\\d{2} "
                       "\\d{2}:\\d{2}:\\d{2}\\] second\r\n$"));
    EXPECT_TRUE(line.match(text).hasMatch()) << text.toStdString();
}

TEST(Logger, FlushOfAnEmptyBufferLeavesTheFileAlone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    Logger logger(path);
    logger.flush();
    EXPECT_FALSE(QFile::exists(path));
}

TEST(Logger, TheBoundKeepsTheNewestLines)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    Logger logger(path);
    logger.setLimit(300);
    // Each line is 22 + 8 + 2 = 32 characters.
    for (int i = 0; i < 100; ++i) {
        logger.appendLine(QStringLiteral("line%1").arg(i, 4, 10, QLatin1Char('0')));
        if (i % 7 == 0)
            logger.flush();
    }
    logger.flush();
    const QByteArray bytes = readAll(path);
    EXPECT_LE(bytes.size(), 300 + 32);
    EXPECT_TRUE(bytes.endsWith("line0099\r\n")) << bytes.toStdString();
    EXPECT_TRUE(bytes.contains("line0098\r\n"));
    EXPECT_FALSE(bytes.contains("line0050"));
}

TEST(Logger, FlushPastTheLimitKeepsTheOldTailBeforeTheNewLines)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.txt"));
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(90, 'a') + QByteArray(10, 'b'));
    old.close();
    Logger logger(path);
    logger.setLimit(100);
    logger.appendLine(QStringLiteral("x")); // 25 characters
    logger.flush();
    const QByteArray bytes = readAll(path);
    ASSERT_EQ(bytes.size(), 100);
    EXPECT_TRUE(bytes.startsWith(QByteArray(65, 'a') + QByteArray(10, 'b') + "["));
    EXPECT_TRUE(bytes.endsWith("] x\r\n"));
}

TEST(Logger, ExportIntoTheLogsOwnFolderKeepsTheLog)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    Logger::instance()->appendLine(QStringLiteral("kept"));
    EXPECT_TRUE(Logger::exportLog(dir.filePath(QStringLiteral("data")) + QStringLiteral("/log.txt")));
    EXPECT_TRUE(readAll(dir.filePath(QStringLiteral("data/log.txt"))).endsWith("] kept\r\n"));
    EXPECT_TRUE(Logger::exportLog(dir.filePath(QStringLiteral("out")) + QStringLiteral("/log.txt")));
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral("out/log.txt"))),
              readAll(dir.filePath(QStringLiteral("data/log.txt"))));
}

TEST(Logger, AsMessageHandlerAFailingWriteDoesNotRecurse)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    // "data/log.txt" is a folder: every write of the log fails and reports it
    // through qDebug, which comes back to the handler.
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("data/log.txt")));
    Logger::instance()->setLimit(64);
    qInstallMessageHandler(&Logger::append);
    for (int i = 0; i < 20; ++i)
        qDebug() << "message" << i;
    Logger::instance()->flush();
    qInstallMessageHandler(nullptr);
    SUCCEED();
}

namespace {

// Fills the file system that holds `path` with a file of that name up to its
// last block, then gives `spareBlocks` blocks back. The free blocks after it,
// -1 when the file could not be made.
long long fillUpTo(const QString& path, int spareBlocks)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    static const QByteArray block(4096, 'f');
    off_t size = 0;
    for (;;) {
        const ssize_t n = ::write(fd, block.constData(), size_t(block.size()));
        if (n <= 0)
            break;
        size += n;
    }
    const bool ok = ::ftruncate(fd, std::max<off_t>(0, size - off_t(spareBlocks) * block.size())) == 0;
    ::close(fd);
    struct statvfs disk {};
    if (!ok || ::statvfs(QFile::encodeName(path).constData(), &disk) != 0)
        return -1;
    return static_cast<long long>(disk.f_bavail);
}

} // namespace

TEST(Logger, AnAppendToAFullDiskLeavesTheLogAsItWas)
{
    QTemporaryDir dir;
    const QString data = dir.filePath(QStringLiteral("data"));
    ASSERT_TRUE(QDir().mkpath(data));
    TestLimits::PrivateTmpfs disk(QFile::encodeName(data).toStdString(), "1M");
    if (!disk.mounted())
        GTEST_SKIP() << "no file system of the test's own to fill: " << disk.why();
    const QString path = data + QStringLiteral("/log.txt");
    Logger logger(path);
    logger.appendLine(QStringLiteral("first line"));
    logger.appendLine(QString::fromUtf8("第二行"));
    logger.flush();
    const QByteArray old = readAll(path);
    ASSERT_TRUE(old.endsWith("] 第二行\r\n")) << old.constData();

    // One block is left: the front of a three-block line fits, the rest not.
    const QString filler = data + QStringLiteral("/filler");
    const long long spare = fillUpTo(filler, 1);
    ASSERT_GE(spare, 1);
    ASSERT_LT(spare, 3);
    const QString line(3 * 4096, QLatin1Char('x'));
    logger.appendLine(line);
    logger.flush();
    EXPECT_EQ(readAll(path), old) << "the log holds a torn last line";
    EXPECT_FALSE(FileTool::writeFile(path, line + QStringLiteral("\r\n"), true));
    EXPECT_EQ(readAll(path), old);

    // Not a block left but the room at the end of the log's own last one.
    ASSERT_EQ(fillUpTo(filler + QStringLiteral("2"), 0), 0);
    EXPECT_FALSE(FileTool::writeFile(path, line, true));
    EXPECT_EQ(readAll(path), old);

    // With room again, the next lines follow the old ones whole.
    ASSERT_TRUE(QFile::remove(filler));
    ASSERT_TRUE(QFile::remove(filler + QStringLiteral("2")));
    logger.appendLine(QStringLiteral("after"));
    logger.flush();
    const QByteArray now = readAll(path);
    EXPECT_TRUE(now.startsWith(old));
    EXPECT_TRUE(now.endsWith("] after\r\n"));
    EXPECT_FALSE(now.contains('x'));
}

namespace {

// Sends what this process writes to stderr into a file for one scope.
class StderrToFile {
public:
    explicit StderrToFile(const QString& path)
    {
        std::fflush(stderr);
        m_saved = ::dup(2);
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(fd, 2);
        ::close(fd);
    }
    ~StderrToFile()
    {
        std::fflush(stderr);
        ::dup2(m_saved, 2);
        ::close(m_saved);
    }

private:
    int m_saved = -1;
};

QtMessageHandler g_before = nullptr;
QStringList g_beforeLines;

void beforeHandler(QtMsgType, const QMessageLogContext&, const QString& text)
{
    g_beforeLines << text;
}

} // namespace

TEST(LogHandler, EveryMessageOnceToTheTerminalAndOnceToTheLogWithOneStamp)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("data")));
    Logger::instance()->setLimit(int(Tarnwick::Constants::kLogMaxBytes));
    Logger::instance()->flush();
    QFile::remove(QStringLiteral("data/log.txt"));
    qSetMessagePattern(QStringLiteral("T %{if-warning}W %{endif}%{message}"));
    g_before = qInstallMessageHandler(beforeHandler);
    {
        StderrToFile redirect(dir.filePath(QStringLiteral("terminal.txt")));
        LogHandler::install();
        EXPECT_TRUE(LogHandler::isInstalled());
        for (int i = 0; i < 2000; ++i)
            qDebug("line %d", i);
        qWarning("last");
        LogHandler::uninstall();
    }
    EXPECT_FALSE(LogHandler::isInstalled());
    // The handler replaced is back.
    qDebug("after");
    qInstallMessageHandler(g_before);
    qSetMessagePattern(QStringLiteral("%{if-category}%{category}: %{endif}%{message}")); // Qt's default
    EXPECT_EQ(g_beforeLines, QStringList{QStringLiteral("after")});

    QByteArray expectedTerminal;
    for (int i = 0; i < 2000; ++i)
        expectedTerminal += "T line " + QByteArray::number(i) + "\n";
    expectedTerminal += "T W last\n";
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral("terminal.txt"))), expectedTerminal);

    const QStringList lines =
        QString::fromUtf8(readAll(dir.filePath(QStringLiteral("data/log.txt")))).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 2002);
    EXPECT_TRUE(lines.last().isEmpty());
    static const QRegularExpression stamp(QStringLiteral("^\\[\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\] "));
    for (int i = 0; i < 2001; ++i) {
        const QString expected = i < 2000 ? QStringLiteral("line %1").arg(i) : QStringLiteral("last");
        const QRegularExpressionMatch match = stamp.match(lines.at(i));
        ASSERT_TRUE(match.hasMatch()) << lines.at(i).toStdString();
        ASSERT_EQ(lines.at(i).mid(match.capturedLength()), expected);
    }
}

TEST(LogHandler, TheBuffersReachTheirFilesWithoutAFlush)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    Logger::instance()->setLimit(int(Tarnwick::Constants::kLogMaxBytes));
    Logger::instance()->flush();
    StderrToFile redirect(dir.filePath(QStringLiteral("terminal.txt")));
    LogHandler::install();
    qDebug("written by the handler's own writer");
    const bool inLog = TestWait::waitUntil(
        [&] { return readAll(dir.filePath(QStringLiteral("data/log.txt"))).contains("handler's own writer"); }, 10000);
    const bool onTerminal = TestWait::waitUntil(
        [&] { return readAll(dir.filePath(QStringLiteral("terminal.txt"))).contains("handler's own writer"); }, 10000);
    LogHandler::uninstall();
    EXPECT_TRUE(inLog);
    EXPECT_TRUE(onTerminal);
}
