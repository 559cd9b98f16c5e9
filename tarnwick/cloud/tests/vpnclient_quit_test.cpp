// The cloud session ends with the application: its logout goes out while the
// event loop still runs, and nothing is sent once the application is gone.

#include "tarnwick/cloud/vpnclient.h"

#include "tarnwick/cloud/tests/cloudtesthelpers.h"
#include "testing/fakecloud/fakecloud.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

TEST(VpnClientQuit, QuittingTheApplicationLogsTheSessionOut)
{
    int argc = 1;
    char name[] = "tarnwick_cloud_quit_tests";
    char* argv[] = {name, nullptr};
    auto app = std::make_unique<QCoreApplication>(argc, argv);

    QTemporaryDir workDir;
    ASSERT_TRUE(workDir.isValid());
    const QString previousDir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(workDir.path()));

    FakeCloud fake;
    ASSERT_TRUE(fake.start());
    fake.setServerPassword(QStringLiteral("srv"));
    fake.addUser(QStringLiteral("bob"), QStringLiteral("pw123456"));

    auto client = std::make_unique<VPNClient>();
    stLoginData login;
    login.strServerAddr = fake.host();
    login.strServerPswd = QStringLiteral("srv");
    login.strDevicePswd = QStringLiteral("bobpw123456");
    QSignalSpy logins(client.get(), &VPNClient::LoginSignal);
    client->Login(login);
    ASSERT_TRUE(waitUntil([&] { return logins.count() == 1; }, 10000));
    ASSERT_TRUE(logins[0][0].toBool());
    const QString token = client->GetToken();
    ASSERT_TRUE(fake.tokenLive(token));

    QTimer::singleShot(0, app.get(), &QCoreApplication::quit);
    app->exec();

    // The logout was sent and answered before exec() returned.
    EXPECT_EQ(fake.requestCount(QStringLiteral("/user/logout")), 1);
    EXPECT_FALSE(fake.tokenLive(token));
    EXPECT_FALSE(client->IsLogin());

    // Gone with the application: the destructor sends nothing more.
    app.reset();
    client.reset();
    EXPECT_EQ(fake.requestCount(QStringLiteral("/user/logout")), 1);
    EXPECT_EQ(fake.requestCount(), 2);
    QDir::setCurrent(previousDir);
}
