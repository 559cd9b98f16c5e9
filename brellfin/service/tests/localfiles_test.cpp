#include "brellfin/service/localfiles.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <random>

namespace {

class LocalFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    QTemporaryDir m_dir;
    std::atomic<bool> m_cancel{false};
};

TEST_F(LocalFiles, CrcOfTheCheckStringIsTheStandardValue)
{
    const QString path = write("digits", "123456789");
    std::uint32_t crc = 0;
    ASSERT_TRUE(localFileCrc32(path, 9, crc, m_cancel));
    EXPECT_EQ(crc, 0xCBF43926u);
    EXPECT_EQ(~crc32Update(0xFFFFFFFF, "123456789", 9), 0xCBF43926u);
    // Of a prefix only, across the 4096-byte steps.
    QByteArray big(10000, 'a');
    big.replace(0, 9, "123456789");
    const QString bigPath = write("big", big);
    ASSERT_TRUE(localFileCrc32(bigPath, 9, crc, m_cancel));
    EXPECT_EQ(crc, 0xCBF43926u);
    std::uint32_t whole = 0;
    ASSERT_TRUE(localFileCrc32(bigPath, 10000, whole, m_cancel));
    EXPECT_EQ(whole, ~crc32Update(0xFFFFFFFF, big.constData(), 10000));
}

TEST_F(LocalFiles, CrcOfNothingSucceedsAndBeyondTheEndFails)
{
    const QString path = write("small", QByteArray(100, 'x'));
    std::uint32_t crc = 0x12345678;
    ASSERT_TRUE(localFileCrc32(path, 0, crc, m_cancel));
    EXPECT_EQ(crc, 0u);
    crc = 0x12345678;
    EXPECT_FALSE(localFileCrc32(path, 101, crc, m_cancel));
    EXPECT_EQ(crc, 0x12345678u);
    EXPECT_FALSE(localFileCrc32(m_dir.filePath("missing"), 0, crc, m_cancel));
}

TEST_F(LocalFiles, Md5MatchesMd5sum)
{
    QByteArray bytes(3 * 4096 + 17, '\0');
    std::mt19937 random(7);
    for (auto& b : bytes)
        b = char(random());
    const QString path = write("random", bytes);
    std::vector<FF::byte> digest;
    ASSERT_TRUE(localFileMd5(path, digest, m_cancel));
    ASSERT_EQ(digest.size(), 16u);

    QProcess md5sum;
    md5sum.start("md5sum", {path});
    ASSERT_TRUE(md5sum.waitForFinished(30000));
    const QByteArray expected = md5sum.readAllStandardOutput().left(32);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(digest.data()), 16).toHex(), expected);

    // An empty file has the MD5 of nothing.
    ASSERT_TRUE(localFileMd5(write("empty", QByteArray()), digest, m_cancel));
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(digest.data()), 16).toHex(),
              QByteArray("d41d8cd98f00b204e9800998ecf8427e"));
}

TEST_F(LocalFiles, SetCancelFlagOrMissingFileFails)
{
    const QString path = write("data", QByteArray(5000, 'y'));
    m_cancel = true;
    std::vector<FF::byte> digest;
    std::uint32_t crc = 0;
    EXPECT_FALSE(localFileMd5(path, digest, m_cancel));
    EXPECT_FALSE(localFileCrc32(path, 10, crc, m_cancel));
    m_cancel = false;
    EXPECT_FALSE(localFileMd5(m_dir.filePath("missing"), digest, m_cancel));
}

TEST_F(LocalFiles, SizesAndNames)
{
    const QString path = write(QString::fromUtf8("数据.bin"), QByteArray(1234, 'z'));
    EXPECT_EQ(localFileSize(path.toUtf8().toStdString()), 1234u);
    EXPECT_EQ(localFileSize(m_dir.filePath("missing").toStdString()), 0u);
    EXPECT_EQ(fileNameOfPath(std::string("C:\\a/b\\c.txt")), "c.txt");
    EXPECT_EQ(fileNameOfPath(std::string("/a\\b/c")), "c");
    EXPECT_EQ(fileNameOfPath(std::string("plain")), "plain");
    EXPECT_EQ(fileNameOfPath(std::string("/storage/user_dir/")), "");
    EXPECT_EQ(fileNameOfPath(QString::fromUtf8("C:\\桌面/x\\项目.txt")), QString::fromUtf8("项目.txt"));
    EXPECT_EQ(fileNameOfPath(QString("a\\")), QString());
}

} // namespace
