#include "tarnwick/core/messages/vpnrpcobject.h"

#include "tarnwick/core/messages/msgdispatcher.h"
#include "tarnwick/core/panelrpc/panelrpcclient.h"
#include "tarnwick/core/tests/paneltesthelpers.h"
#include "testing/fakepanel/fakepanelservice.h"
#include "testing/panelservices/panelmethodtable.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <mutex>
#include <string>

using Fake::PanelAnswer;
using Fake::WireWriter;

namespace {

// Everything logged while a test runs.
std::mutex logMutex;
QStringList logLines;

void captureLog(QtMsgType, const QMessageLogContext&, const QString& text)
{
    std::lock_guard<std::mutex> lock(logMutex);
    logLines << text;
}

struct Outcome {
    bool done = false;
    bool ok = false;
    QString text;
    int passwordRequests = 0;
};

class VpnRpcObjectTest : public ::testing::Test {
protected:
    void SetUp() override { m_previous = qInstallMessageHandler(captureLog); }
    void TearDown() override
    {
        dispatcher.stop();
        qInstallMessageHandler(m_previous);
    }

    // Runs one object against the panel; password requests are answered with password.
    Outcome run(const QString& server, int action, const std::string& password = std::string(),
                const QString& panelAddress = QStringLiteral("127.0.0.1"), unsigned int port = 0)
    {
        Outcome outcome;
        auto obj = std::make_unique<VPNRpcObject>(server, panelAddress, action);
        obj->setServicePort(port ? port : service.port());
        QObject::connect(obj.get(), &VPNRpcObject::GetPasswd, &receiver, [&, password](VPNRpcObject* asking) {
            ++outcome.passwordRequests;
            asking->SetPasswd(password);
        });
        QObject::connect(obj.get(), &VPNRpcObject::Complete, &receiver, [&](bool ok, QString text) {
            outcome.ok = ok;
            outcome.text = text;
            outcome.done = true;
        });
        dispatcher.post(std::move(obj));
        EXPECT_TRUE(PanelTest::waitUntil([&] { return outcome.done; }, 20000));
        PanelTest::settle(50);
        return outcome;
    }

    Fake::FakePanelService service{"127.0.0.1"};
    Fake::PanelMethodTable table{service, Fake::PanelMethodTable::serviceMethods()};
    MsgDispatcher dispatcher;
    QObject receiver;
    QtMessageHandler m_previous = nullptr;
};

} // namespace

TEST_F(VpnRpcObjectTest, ChangeWithoutPasswordSendsTheNewAddress)
{
    table.setResult("hasPassword", WireWriter().boolean(false).take());
    table.setResult("changeServerIP", WireWriter().i32(0).take());
    const Outcome outcome = run(QStringLiteral("10.20.30.40"), VPNRpcObject::kActionChange);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.text, QStringLiteral("修改设备服务器IP地址成功"));
    EXPECT_EQ(outcome.passwordRequests, 0);
    ASSERT_EQ(table.argsOf("changeServerIP").size(), 1u);
    EXPECT_EQ(table.argsOf("changeServerIP")[0].at(0).text(), "10.20.30.40");
    EXPECT_TRUE(table.argsOf("checkPassword").empty());
}

TEST_F(VpnRpcObjectTest, ChangeWithPasswordChecksItsDigestFirstAndNeverLogsIt)
{
    table.setResult("hasPassword", WireWriter().boolean(true).take());
    const std::string digest = PanelRpcClient::passwordDigest("s3cret-pw");
    table.setResponder("checkPassword", [&](const std::vector<Fake::PanelArg>& args) {
        return WireWriter().boolean(args.at(0).text() == digest).take();
    });
    table.setResult("changeServerIP", WireWriter().i32(0).take());

    Outcome outcome = run(QStringLiteral("1.2.3.4"), VPNRpcObject::kActionChange, "s3cret-pw");
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.text, QStringLiteral("修改设备服务器IP地址成功"));
    EXPECT_EQ(outcome.passwordRequests, 1);
    ASSERT_EQ(table.argsOf("checkPassword").size(), 1u);
    EXPECT_EQ(table.argsOf("checkPassword")[0].at(0).text(), digest);

    outcome = run(QStringLiteral("1.2.3.4"), VPNRpcObject::kActionChange, "wrong");
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.text, QStringLiteral("密码错误，连接失败"));
    EXPECT_EQ(table.argsOf("changeServerIP").size(), 1u) << "a refused password changes nothing";

    std::lock_guard<std::mutex> lock(logMutex);
    for (const QString& line : logLines) {
        EXPECT_FALSE(line.contains(QStringLiteral("s3cret"))) << line.toStdString();
        EXPECT_FALSE(line.contains(QString::fromStdString(digest))) << line.toStdString();
    }
}

TEST_F(VpnRpcObjectTest, CancelledPasswordEndsWithoutFurtherCalls)
{
    table.setResult("hasPassword", WireWriter().boolean(true).take());
    const Outcome outcome = run(QStringLiteral("1.2.3.4"), VPNRpcObject::kActionChange, std::string());
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.text, QStringLiteral("取消连接成功"));
    EXPECT_TRUE(table.argsOf("checkPassword").empty());
    EXPECT_TRUE(table.argsOf("changeServerIP").empty());
}

TEST_F(VpnRpcObjectTest, FailedPasswordQueryCountsAsNoPasswordAndRefusalIsReported)
{
    table.setAnswer("hasPassword", PanelAnswer::WrongType);
    table.setResult("changeServerIP", WireWriter().i32(1).take());
    const Outcome outcome = run(QStringLiteral("0.0.0.0"), VPNRpcObject::kActionChange);
    EXPECT_EQ(outcome.passwordRequests, 0);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.text, QStringLiteral("设备服务器IP地址无效"));
}

// A password check or an address change that fails (refused, or its answer
// unreadable) is a failed connection to the device, neither a wrong password
// nor an address the panel refused. (A dropped connection is no failure
// here: the object's client reconnects and sends the call again.)
TEST_F(VpnRpcObjectTest, ACallWithoutAnswerIsNoRefusal)
{
    table.setResult("hasPassword", WireWriter().boolean(true).take());
    table.setResult("checkPassword", WireWriter().boolean(true).take());
    table.setResult("changeServerIP", WireWriter().i32(1).take());
    struct Case {
        const char* what;
        const char* method;
        PanelAnswer answer;
    };
    const Case cases[] = {
        {"check refused", "checkPassword", PanelAnswer::Unregistered},
        {"check unreadable", "checkPassword", PanelAnswer::WrongType},
        {"change refused", "changeServerIP", PanelAnswer::Unregistered},
        {"change unreadable", "changeServerIP", PanelAnswer::Short},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        table.setAnswer(c.method, c.answer);
        const size_t changes = table.argsOf("changeServerIP").size();
        const Outcome outcome = run(QStringLiteral("1.2.3.4"), VPNRpcObject::kActionChange, "pw");
        EXPECT_FALSE(outcome.ok);
        EXPECT_EQ(outcome.text, QStringLiteral("连接设备失败"));
        EXPECT_EQ(outcome.passwordRequests, 1);
        if (std::string(c.method) == "checkPassword") {
            EXPECT_EQ(table.argsOf("changeServerIP").size(), changes) << "a failed check changes nothing";
        }
        table.setAnswer(c.method, PanelAnswer::Right);
    }
    // The panel's own answers still read as such.
    table.setResult("checkPassword", WireWriter().boolean(false).take());
    EXPECT_EQ(run(QStringLiteral("1.2.3.4"), VPNRpcObject::kActionChange, "pw").text,
              QStringLiteral("密码错误，连接失败"));
    table.setResult("checkPassword", WireWriter().boolean(true).take());
    EXPECT_EQ(run(QStringLiteral("1.2.3.4"), VPNRpcObject::kActionChange, "pw").text,
              QStringLiteral("设备服务器IP地址无效"));
}

TEST_F(VpnRpcObjectTest, MalformedServerAddressesAreRefusedBeforeAnyConnection)
{
    for (const char* text : {"192.168.001.1", "256.1.1.1", "1.2.3.4 ", "1.2.3", ""}) {
        const Outcome outcome = run(QString::fromLatin1(text), VPNRpcObject::kActionChange);
        EXPECT_FALSE(outcome.ok) << text;
        EXPECT_EQ(outcome.text, QStringLiteral("服务器IP地址格式错误")) << text;
    }
    EXPECT_EQ(service.acceptedConnections(), 0);
    EXPECT_TRUE(VPNRpcObject::isIpv4Address(QStringLiteral("255.255.255.255")));
    EXPECT_TRUE(VPNRpcObject::isIpv4Address(QStringLiteral("0.0.0.0")));
    // A bad panel address is refused without a connection too.
    const Outcome outcome = run(QStringLiteral("1.2.3.4"), VPNRpcObject::kActionChange, std::string(),
                                QStringLiteral("127.0.0"));
    EXPECT_EQ(outcome.text, QStringLiteral("连接设备失败"));
    EXPECT_EQ(service.acceptedConnections(), 0);
}

TEST_F(VpnRpcObjectTest, ReadReportsTheAddressOrAFailure)
{
    table.setResult("getServerIP", WireWriter().string("9.8.7.6").take());
    Outcome outcome = run(QString(), 1);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.text, QStringLiteral("9.8.7.6"));

    table.setAnswer("getServerIP", PanelAnswer::Unregistered);
    outcome = run(QString(), 1);
    EXPECT_FALSE(outcome.ok) << "a failed read is no success with an empty address";
    EXPECT_EQ(outcome.text, QStringLiteral("连接设备失败"));
}

TEST(VpnRpcObject, UsesThePanelsServicePortByDefault)
{
    Fake::FakePanelService service("127.70.0.20", 9009);
    Fake::PanelMethodTable table(service, Fake::PanelMethodTable::serviceMethods());
    table.setResult("getServerIP", WireWriter().string("1.1.1.1").take());
    VPNRpcObject obj(QString(), QStringLiteral("127.70.0.20"), 1);
    bool ok = false;
    QString text;
    QObject::connect(&obj, &VPNRpcObject::Complete, [&](bool b, QString t) {
        ok = b;
        text = t;
    });
    obj.Run();
    EXPECT_TRUE(ok);
    EXPECT_EQ(text, QStringLiteral("1.1.1.1"));
}

TEST_F(VpnRpcObjectTest, AChangeWhosePasswordNeverComesEndsAsACancelAtItsLimit)
{
    table.setResult("hasPassword", WireWriter().boolean(true).take());
    table.setResult("changeServerIP", WireWriter().i32(0).take());
    auto obj = std::make_unique<VPNRpcObject>(QStringLiteral("1.2.3.4"), QStringLiteral("127.0.0.1"),
                                              VPNRpcObject::kActionChange);
    obj->setServicePort(service.port());
    obj->setAnswerLimitMs(300);
    Outcome outcome;
    QElapsedTimer sinceAsked;
    QObject::connect(obj.get(), &VPNRpcObject::GetPasswd, &receiver, [&](VPNRpcObject*) {
        ++outcome.passwordRequests;
        sinceAsked.start();
    });
    QObject::connect(obj.get(), &VPNRpcObject::Complete, &receiver, [&](bool ok, QString text) {
        outcome.ok = ok;
        outcome.text = text;
        outcome.done = true;
    });
    dispatcher.post(std::move(obj));
    ASSERT_TRUE(PanelTest::waitUntil([&] { return outcome.done; }, 20000));
    ASSERT_TRUE(sinceAsked.isValid());
    EXPECT_LT(sinceAsked.elapsed(), 3000);
    EXPECT_EQ(outcome.passwordRequests, 1);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.text, QStringLiteral("取消连接成功"));
    EXPECT_TRUE(table.argsOf("checkPassword").empty());
    EXPECT_TRUE(table.argsOf("changeServerIP").empty());
    std::lock_guard<std::mutex> lock(logMutex);
    EXPECT_TRUE(logLines.contains(QStringLiteral("VPNRpcObject: no password given within 300 ms: taken as a cancel")))
        << logLines.join('\n').toStdString();
}
