// The process's dispatcher at application quit: its own program, since the
// quit ends the dispatcher for the rest of the process.
#include "tarnwick/core/messages/msgdispatcher.h"

#include "tarnwick/core/messages/passwdmsg.h"
#include "tarnwick/core/messages/vpnrpcobject.h"
#include "tarnwick/core/panelrpc/panelrpcclient.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

TEST(MsgDispatcherQuit, QuittingAnswersPendingPasswordRequestsWithCancelAndStopsTheDispatcher)
{
    int argc = 1;
    char name[] = "msgdispatcherquit_test";
    char* argv[] = {name, nullptr};
    auto app = std::make_unique<QCoreApplication>(argc, argv);

    PanelRpcClient client;
    auto msg = std::make_unique<PasswdMsg>(&client);
    std::atomic<bool> asked{false};
    std::atomic<bool> cancelled{false};
    QObject::connect(
        msg.get(), &PasswdMsg::GetPasswd, msg.get(), [&] { asked = true; }, Qt::DirectConnection);
    QObject::connect(
        msg.get(), &PasswdMsg::Complete, msg.get(),
        [&](bool ok, QString text) { cancelled = !ok && text == QStringLiteral("取消连接"); }, Qt::DirectConnection);
    MsgDispatcher* dispatcher = MsgDispatcher::instance();
    dispatcher->post(std::move(msg));
    for (int i = 0; i < 1000 && !asked; ++i)
        QThread::msleep(10);
    ASSERT_TRUE(asked);

    app.reset(); // the application's end answers the request and stops the dispatcher
    EXPECT_TRUE(cancelled);
    EXPECT_TRUE(dispatcher->isFinished());

    // A password wait that starts after the quit is cancelled at once.
    VPNRpcObject late(QStringLiteral("1.2.3.4"), QStringLiteral("127.0.0.1"), 1);
    EXPECT_FALSE(MsgDispatcher::addPendingWait(&late, [] {}));
}
