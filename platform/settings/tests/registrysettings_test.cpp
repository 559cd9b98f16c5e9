#include "platform/settings/registrysettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

const QString kPath = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarnwick\\");

class RegistrySettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
    }
    QTemporaryDir m_dir;
};

mode_t modeOf(const QString& file)
{
    struct stat st {};
    if (::stat(QFile::encodeName(file).constData(), &st) != 0)
        return 0;
    return st.st_mode & 0777;
}

} // namespace

TEST_F(RegistrySettingsTest, RegistryPathMapsToAnIniFileUnderTheConfigFolder)
{
    EXPECT_EQ(RegistrySettings::fileNameFor(kPath), m_dir.path() + QStringLiteral("/Tarnwick/Tarnwick.ini"));
    EXPECT_EQ(RegistrySettings::fileNameFor(QStringLiteral("HKEY_CURRENT_USER\\Software\\A\\B")),
              m_dir.path() + QStringLiteral("/A/B.ini"));
    // No segment climbs out of the folder.
    const QString hostile = RegistrySettings::fileNameFor(
        QStringLiteral("HKEY_CURRENT_USER\\Software\\..\\..\\x/../y"));
    EXPECT_TRUE(QDir::cleanPath(hostile).startsWith(m_dir.path() + QLatin1Char('/'))) << hostile.toStdString();
}

TEST_F(RegistrySettingsTest, ValuesSurviveReopenWithTheirTypes)
{
    {
        RegistrySettings s(kPath);
        s.setValue(QStringLiteral("keeppswd"), true);
        s.setValue(QStringLiteral("serverPort"), 8080);
        s.setValue(QStringLiteral("localNetRouteDelCmd"), QStringLiteral("route delete 192.168.1.0 10.0.0.5"));
        s.setValue(QStringLiteral("username"), QString::fromUtf8("用户,\"x\"\r\n= ;#"));
        EXPECT_TRUE(s.sync());
    }
    RegistrySettings r(kPath);
    EXPECT_TRUE(r.value(QStringLiteral("keeppswd")).toBool());
    EXPECT_EQ(r.value(QStringLiteral("serverPort")).toInt(), 8080);
    EXPECT_EQ(r.value(QStringLiteral("localNetRouteDelCmd")).toString(),
              QStringLiteral("route delete 192.168.1.0 10.0.0.5"));
    EXPECT_EQ(r.value(QStringLiteral("username")).toString(), QString::fromUtf8("用户,\"x\"\r\n= ;#"));
    EXPECT_FALSE(r.contains(QStringLiteral("password")));
    EXPECT_EQ(r.value(QStringLiteral("password"), QStringLiteral("d")).toString(), QStringLiteral("d"));
}

TEST_F(RegistrySettingsTest, FileIsPrivateToItsOwner)
{
    RegistrySettings s(kPath);
    s.setValue(QStringLiteral("password"), QStringLiteral("secret"));
    ASSERT_TRUE(s.sync());
    EXPECT_EQ(modeOf(s.fileName()), 0600u);
    // A second write replaces the file and keeps it private.
    s.setValue(QStringLiteral("password"), QStringLiteral("secret2"));
    ASSERT_TRUE(s.sync());
    EXPECT_EQ(modeOf(s.fileName()), 0600u);
}

TEST_F(RegistrySettingsTest, DestructorWritesPendingValues)
{
    {
        RegistrySettings s(kPath);
        s.setValue(QStringLiteral("custom"), true);
    }
    EXPECT_TRUE(RegistrySettings(kPath).value(QStringLiteral("custom")).toBool());
}

TEST_F(RegistrySettingsTest, UnwritableLocationReportsFailure)
{
    // A plain file where the folder should be: nothing can be written below it.
    QFile blocker(m_dir.path() + QStringLiteral("/Tarnwick"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    RegistrySettings s(kPath);
    s.setValue(QStringLiteral("x"), 1);
    EXPECT_FALSE(s.sync());
}

TEST_F(RegistrySettingsTest, WritersOfDifferentKeysDoNotEraseEachOther)
{
    // The settings object and the forwarding code each open the store and
    // write their own keys.
    RegistrySettings settings(kPath);
    RegistrySettings forwarding(kPath);
    forwarding.setValue(QStringLiteral("localNetRouteDelCmd"), QStringLiteral("route delete 10.1.1.0 10.0.0.5"));
    ASSERT_TRUE(forwarding.sync());
    settings.setValue(QStringLiteral("server"), QStringLiteral("cloud.example"));
    ASSERT_TRUE(settings.sync());
    RegistrySettings reader(kPath);
    EXPECT_EQ(reader.value(QStringLiteral("localNetRouteDelCmd")).toString(),
              QStringLiteral("route delete 10.1.1.0 10.0.0.5"));
    EXPECT_EQ(reader.value(QStringLiteral("server")).toString(), QStringLiteral("cloud.example"));
}
