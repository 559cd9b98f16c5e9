#include "tarnwick/ui/settings/settingview.h"
#include "testing/loopbackresolver/loopbackresolver.h"

#include "tarnwick/ui/settings/settingsconstants.h"
#include "tarnwick/ui/settings/tests/settingstestenv.h"
#include "tarnwick/widgets/editlineview.h"
#include "tarnwick/widgets/messagebox.h"
#include "tarnwick/widgets/pushbutton.h"
#include "tarnwick/widgets/tests/dialogdriver.h"
#include "testing/fakecloud/fakecloud.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <sched.h>

using namespace Tarnwick::Settings;

namespace {

QString u(const char* text)
{
    return QString::fromUtf8(text);
}

// Answers every request with "404 Not Found", as a web server that is not
// the cloud service does.
class NotFoundServer : public QTcpServer {
public:
    NotFoundServer()
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::readyRead, socket, [socket] {
                    if (!socket->readAll().contains("\r\n\r\n"))
                        return;
                    socket->write("HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: 9\r\n"
                                  "Connection: close\r\n\r\nNot Found");
                    socket->disconnectFromHost();
                });
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }
};

class ServerTestTest : public ::testing::Test {
protected:
    // The page reads the settings when built, so the test's own store and
    // working folder come first.
    struct Env {
        Env() { SettingsTestEnv::prepare(); }
    } env;

    // Runs the page's test with the given server and port texts and returns
    // the box it showed.
    DialogDriver::SeenBox runTest(const QString& server, const QString& port)
    {
        view.findChild<EditLineView*>(kEditServerName)->setText(server);
        view.findChild<EditLineView*>(kEditServerPortName)->setText(port);
        const int seen = driver.boxes().size();
        driver.answerBox(DialogDriver::kButton1);
        view.onServerTest();
        auto* button = view.findChild<PushButton*>(kServerTestName);
        EXPECT_TRUE(button->isEnabled());
        EXPECT_EQ(button->text(), u("  测试  "));
        EXPECT_EQ(driver.boxes().size(), seen + 1);
        if (driver.boxes().size() != seen + 1)
            return DialogDriver::SeenBox();
        EXPECT_EQ(driver.boxes().last().title, u("服务器测试"));
        return driver.boxes().last();
    }

    SettingView view;
    DialogDriver driver;
};

TEST_F(ServerTestTest, AcceptedReplyConfirmsTheServer)
{
    FakeCloud cloud;
    ASSERT_TRUE(cloud.start(QHostAddress("127.130.0.1")));
    // The button reads "测试中" and is disabled while the test runs.
    QString textDuring;
    bool enabledDuring = true;
    auto* button = view.findChild<PushButton*>(kServerTestName);
    QTimer probe;
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (textDuring.isEmpty() && button->text() != u(" 测试 ")) {
            textDuring = button->text();
            enabledDuring = button->isEnabled();
        }
    });
    probe.start();
    const DialogDriver::SeenBox seen = runTest("127.130.0.1", QString::number(cloud.port()));
    EXPECT_EQ(seen.type, MessageBox::Information);
    EXPECT_EQ(seen.text, u("服务地址和服务端口配置正确!"));
    EXPECT_EQ(cloud.requestCount("/device/test/url"), 1);
    EXPECT_EQ(textDuring, u("  测试中  "));
    EXPECT_FALSE(enabledDuring);
}

TEST_F(ServerTestTest, NotFoundIsAWrongServer)
{
    NotFoundServer server;
    ASSERT_TRUE(server.listen(QHostAddress("127.130.0.1"), 0));
    const DialogDriver::SeenBox seen = runTest("127.130.0.1", QString::number(server.serverPort()));
    EXPECT_EQ(seen.type, MessageBox::Warning);
    EXPECT_EQ(seen.text, u("服务地址或服务端口不正确!"));
}

TEST_F(ServerTestTest, NothingListeningFailsWithoutALongWait)
{
    quint16 port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress("127.130.0.1"), 0));
        port = probe.serverPort();
    }
    QElapsedTimer clock;
    clock.start();
    const DialogDriver::SeenBox seen = runTest("127.130.0.1", QString::number(port));
    EXPECT_EQ(seen.type, MessageBox::Warning);
    EXPECT_EQ(seen.text, u("服务地址或服务端口不正确!"));
    EXPECT_LT(clock.elapsed(), 8000); // the test's own limit is 10000 ms
}

TEST_F(ServerTestTest, PortTextWithALeadingZeroTestsThatPort)
{
    // Port 80 itself: the test proceeds where saving would refuse the text.
    FakeCloud cloud;
    if (!cloud.start(QHostAddress("127.130.0.80"), 80))
        GTEST_SKIP() << "port 80 on 127.130.0.80 cannot be bound here";
    const DialogDriver::SeenBox seen = runTest("127.130.0.80", " 080 ");
    EXPECT_EQ(seen.text, u("服务地址和服务端口配置正确!"));
    EXPECT_EQ(cloud.requestCount("/device/test/url"), 1);
}

TEST_F(ServerTestTest, PortOutOfRangeIsRefusedBeforeAnyRequest)
{
    FakeCloud cloud;
    ASSERT_TRUE(cloud.start(QHostAddress("127.130.0.1")));
    for (const char* port : {"0", "65536", "abc"}) {
        const DialogDriver::SeenBox seen = runTest("127.130.0.1", port);
        EXPECT_EQ(seen.type, MessageBox::Warning);
        EXPECT_EQ(seen.text, u("服务端口有效范围为1~65535的整数!")) << port;
    }
    EXPECT_EQ(cloud.requestCount(), 0);
}

TEST_F(ServerTestTest, EmptyServerIsRefused)
{
    const DialogDriver::SeenBox seen = runTest("  ", "80");
    EXPECT_EQ(seen.type, MessageBox::Warning);
    EXPECT_EQ(seen.text, u("服务地址不能为空!"));
}

// The name lookup must not leave the machine: the process gets a resolver
// configuration of its own that names a loopback address where nothing
// answers.
bool useLoopbackResolver(QString* why)
{
    std::string problem;
    const bool ok = Testing::useLoopbackResolver(&problem);
    *why = QString::fromStdString(problem);
    return ok;
}

TEST_F(ServerTestTest, NameThatDoesNotResolveIsAnEmptyAddress)
{
    QString why;
    if (!useLoopbackResolver(&why))
        GTEST_SKIP() << why.toStdString();
    QElapsedTimer clock;
    clock.start();
    const DialogDriver::SeenBox seen = runTest("no-such-cloud.invalid", "80");
    EXPECT_EQ(seen.type, MessageBox::Warning);
    EXPECT_EQ(seen.text, u("服务地址不能为空!"));
    EXPECT_LT(clock.elapsed(), 8000); // the lookup gives up after 2000 ms
}

} // namespace
