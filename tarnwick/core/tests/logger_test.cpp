#include "tarnwick/core/logger.h"

#include <gtest/gtest.h>

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

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
        EXPECT_FALSE(QFile::exists(path));  // nothing reaches the disk before a flush
        logger.flush();
    }
    const QString text = QString::fromUtf8(readAll(path));
    static const QRegularExpression line(QStringLiteral(
        "^\\[\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\] 第一行\r\n\\[\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}\\] second\r\n$"));
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
    logger.appendLine(QStringLiteral("x"));  // 25 characters
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
    EXPECT_EQ(readAll(dir.filePath(QStringLiteral("out/log.txt"))), readAll(dir.filePath(QStringLiteral("data/log.txt"))));
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
