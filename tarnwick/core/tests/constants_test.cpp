#include "tarnwick/core/constants.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

using namespace Tarnwick::Constants;

TEST(Constants, StatusTextsKeepTheirTwoInnerBlanks)
{
    // "在", two blanks, "线": eight bytes of UTF-8.
    const QByteArray online = kDeviceStatusTexts[StatusOnline].toUtf8();
    EXPECT_EQ(online, QByteArray("\xe5\x9c\xa8  \xe7\xba\xbf"));
    EXPECT_EQ(kDeviceStatusTexts[StatusOffline], QString::fromUtf8("离  线"));
    EXPECT_EQ(kDeviceStatusTexts[StatusOccupied], QString::fromUtf8("占  用"));
    EXPECT_EQ(kDeviceStatusTexts[StatusLinked], QString::fromUtf8("联  机"));
    EXPECT_EQ(kDeviceStatusTexts[StatusLinking], QString::fromUtf8("联机中"));
    EXPECT_EQ(kDeviceStatusTexts[StatusStopping], QString::fromUtf8("停止中"));
}

TEST(Constants, StatusColoursByIndex)
{
    const int expected[kDeviceStatusCount][4] = {
        {0, 0, 255, 255},   {170, 170, 170, 255}, {255, 0, 0, 255},
        {0, 176, 240, 255}, {0, 176, 80, 255},    {255, 0, 0, 255},
    };
    for (int i = 0; i < kDeviceStatusCount; ++i) {
        const QColor& c = kDeviceStatusColors[i];
        EXPECT_EQ(c.red(), expected[i][0]) << i;
        EXPECT_EQ(c.green(), expected[i][1]) << i;
        EXPECT_EQ(c.blue(), expected[i][2]) << i;
        EXPECT_EQ(c.alpha(), expected[i][3]) << i;
    }
}

// Paths and texts that no other test pins by their bytes.
TEST(Constants, PathsAndTexts)
{
    EXPECT_EQ(kSettingsPath, QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarnwick\\"));
    EXPECT_FALSE(kEmptyText.isNull());
    EXPECT_TRUE(kEmptyText.isEmpty());
    EXPECT_EQ(kVersionText.toUtf8(), QByteArray("\xe5\xbd\x93\xe5\x89\x8d\xe7\x89\x88\xe6\x9c\xac: V2.3"));
    EXPECT_EQ(kReleaseDateText, QString::fromUtf8("发布日期: 2022-07-27"));
    EXPECT_EQ(kAppTitle, QString::fromUtf8("调试助手"));
    EXPECT_EQ(kLocalDeviceListFile, QStringLiteral("data/LocalDeviceList.csv"));
}

TEST(Constants, ClientIdIsABracedUuid)
{
    static const QRegularExpression uuid(
        QStringLiteral("^\\{[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}\\}$"));
    EXPECT_TRUE(uuid.match(kClientId).hasMatch()) << kClientId.toStdString();
}

TEST(Constants, ClientIdDiffersBetweenRuns)
{
    // A second process of this test program prints its own id.
    if (qEnvironmentVariableIsSet("TW_PRINT_CLIENT_ID")) {
        printf("%s\n", kClientId.toUtf8().constData());
        return;
    }
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TW_PRINT_CLIENT_ID"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.start(QString::fromLocal8Bit(::testing::internal::GetArgvs()[0].c_str()),
                {QStringLiteral("--gtest_filter=Constants.ClientIdDiffersBetweenRuns")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    static const QRegularExpression uuid(QStringLiteral("\\{[0-9a-f-]{36}\\}"));
    const QRegularExpressionMatch m = uuid.match(out);
    ASSERT_TRUE(m.hasMatch()) << out.toStdString();
    EXPECT_NE(m.captured(0), kClientId);
}
