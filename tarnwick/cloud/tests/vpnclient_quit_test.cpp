// The cloud session's end: endSession() logs out while the application still
// runs events and sends nothing afterwards; the destructor reaches nobody,
// whether or not the session was ended first; the program's session ends
// with the application object.

#include "tarnwick/cloud/vpnclient.h"

#include "tarnwick/cloud/tests/cloudtesthelpers.h"
#include "testing/fakecloud/fakecloud.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <memory>

namespace {

// An application of the test's own (the test main makes none), a working
// folder for the configuration file, and the cloud fake with one account.
class VpnClientQuit : public ::testing::Test {
protected:
    void SetUp() override
    {
        makeApplication();
        ASSERT_TRUE(m_workDir.isValid());
        m_previousDir = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(m_workDir.path()));
        ASSERT_TRUE(m_fake.start());
        m_fake.setServerPassword(QStringLiteral("srv"));
        m_fake.addUser(QStringLiteral("bob"), QStringLiteral("pw123456"));
    }

    void TearDown() override
    {
        m_client.reset();
        m_app.reset();
        QDir::setCurrent(m_previousDir);
    }

    void makeApplication() { m_app = std::make_unique<QCoreApplication>(m_argc, m_argv); }

    // A new client logged in to the fake; its token.
    QString login()
    {
        m_client = std::make_unique<VPNClient>();
        return logIn(*m_client);
    }

    // The client as it is, logged in to the fake; its token.
    QString logIn(VPNClient& client)
    {
        stLoginData data;
        data.strServerAddr = m_fake.host();
        data.strServerPswd = QStringLiteral("srv");
        data.strDevicePswd = QStringLiteral("bobpw123456");
        QSignalSpy logins(&client, &VPNClient::LoginSignal);
        client.Login(data);
        EXPECT_TRUE(waitUntil([&] { return logins.count() == 1; }, 10000));
        EXPECT_TRUE(logins.count() == 1 && logins[0][0].toBool());
        const QString token = client.GetToken();
        EXPECT_TRUE(m_fake.tokenLive(token));
        return token;
    }

    int m_argc = 1;
    char m_name[26] = "tarnwick_cloud_quit_tests";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QCoreApplication> m_app;
    QTemporaryDir m_workDir;
    QString m_previousDir;
    FakeCloud m_fake;
    std::unique_ptr<VPNClient> m_client;
};

TEST_F(VpnClientQuit, EndSessionLogsOutWhileEventsRunAndNothingGoesOutAfterIt)
{
    const QString token = login();
    QSignalSpy logouts(m_client.get(), &VPNClient::LogoutSignal);

    // The logout was sent and answered before endSession() returned.
    m_client->endSession();
    EXPECT_EQ(m_fake.requestCount(QStringLiteral("/user/logout")), 1);
    EXPECT_FALSE(m_fake.tokenLive(token));
    EXPECT_FALSE(m_client->IsLogin());
    ASSERT_EQ(logouts.count(), 1);
    EXPECT_TRUE(logouts[0][0].toBool());

    // Ended for good: neither a second end nor Logout() sends or signals.
    m_client->endSession();
    m_client->Logout();
    spin(200);
    EXPECT_EQ(logouts.count(), 1);
    m_client.reset();
    spin(200);
    EXPECT_EQ(m_fake.requestCount(QStringLiteral("/user/logout")), 1);
    EXPECT_EQ(m_fake.requestCount(), 2);
}

TEST_F(VpnClientQuit, EndSessionWaitsForALogoutUnderWayInsteadOfSendingASecond)
{
    const QString token = login();
    // A confirmed close of the window sends the logout and goes on.
    m_client->Logout();
    m_client->endSession();
    EXPECT_EQ(m_fake.requestCount(QStringLiteral("/user/logout")), 1);
    EXPECT_FALSE(m_fake.tokenLive(token));
    EXPECT_FALSE(m_client->IsLogin());
}

TEST_F(VpnClientQuit, DestroyingALoggedInClientSendsAndSignalsNothing)
{
    const QString token = login();
    QSignalSpy logouts(m_client.get(), &VPNClient::LogoutSignal);
    int signalled = 0;
    QObject::connect(m_client.get(), &VPNClient::LogoutSignal, [&] { ++signalled; });

    // With the application still there, as at exit() from its event loop.
    m_client.reset();
    spin(300);
    EXPECT_EQ(signalled, 0);
    EXPECT_EQ(m_fake.requestCount(QStringLiteral("/user/logout")), 0);
    EXPECT_TRUE(m_fake.tokenLive(token));
}

TEST_F(VpnClientQuit, TheProgramsSessionEndsWithTheApplicationObjectNotAtExit)
{
    // The program's session, logged in: its network managers have run.
    VPNClient& session = VPNClient::instance();
    ASSERT_FALSE(logIn(session).isEmpty());

    bool ended = false;
    bool applicationThere = false;
    const QMetaObject::Connection watch = QObject::connect(&session, &QObject::destroyed, [&] {
        ended = true;
        applicationThere = QCoreApplication::instance() != nullptr;
    });
    m_app.reset();
    if (!ended)
        QObject::disconnect(watch); // it would run at exit, on this frame long gone
    EXPECT_TRUE(ended) << "the session outlived the application object";
    EXPECT_TRUE(applicationThere) << "the session ended after the application had gone";

    // The next application gets a session of its own.
    makeApplication();
    VPNClient& next = VPNClient::instance();
    EXPECT_FALSE(next.IsLogin());
}

TEST_F(VpnClientQuit, ALoginAfterTheEndStartsAFreshSessionThatLogsOutAgain)
{
    login();
    m_client->endSession();
    ASSERT_EQ(m_fake.requestCount(QStringLiteral("/user/logout")), 1);

    const QString token = logIn(*m_client);
    ASSERT_FALSE(token.isEmpty());
    QSignalSpy logouts(m_client.get(), &VPNClient::LogoutSignal);
    m_client->Logout();
    ASSERT_TRUE(waitUntil([&] { return logouts.count() == 1; }, 10000));
    EXPECT_TRUE(logouts[0][0].toBool());
    EXPECT_EQ(m_fake.requestCount(QStringLiteral("/user/logout")), 2);
}

} // namespace
