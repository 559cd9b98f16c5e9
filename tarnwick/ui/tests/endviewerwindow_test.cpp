#include "tarnwick/ui/endviewerwindow.h"

#include "tarnwick/vnc/vncviewerwindow.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

namespace {

void flushDeferredDeletes()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

} // namespace

TEST(EndViewerWindow, ClosesNowDeletesLaterAndClearsThePointer)
{
    // Port 1 on a loopback address: nothing answers, the viewer just retries.
    auto* window = new VncViewerWindow(QStringLiteral("127.100.0.2"), 1);
    window->show();
    QPointer<VncViewerWindow> watch(window);
    std::unique_ptr<VncViewerWindow> field(window);

    endViewerWindow(field);
    EXPECT_EQ(field, nullptr);
    ASSERT_FALSE(watch.isNull()); // still alive: the caller may be inside its loops
    EXPECT_FALSE(watch->isVisible());
    flushDeferredDeletes();
    EXPECT_TRUE(watch.isNull());
}

TEST(EndViewerWindow, WindowEndedFromInsideItsOwnNestedLoopOutlivesTheLoop)
{
    auto* window = new VncViewerWindow(QStringLiteral("127.100.0.2"), 1);
    QPointer<VncViewerWindow> watch(window);
    std::unique_ptr<VncViewerWindow> field(window);
    bool aliveAfterLoop = false;
    // A nested loop owned by the window, as its password dialog runs one.
    QTimer::singleShot(0, window, [&] {
        QEventLoop loop(window);
        QTimer::singleShot(0, &loop, [&] {
            endViewerWindow(field);
            loop.quit();
        });
        loop.exec();
        aliveAfterLoop = !watch.isNull();
    });
    for (int i = 0; i < 50 && !aliveAfterLoop && watch; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(aliveAfterLoop);
    flushDeferredDeletes();
    EXPECT_TRUE(watch.isNull());
}

TEST(EndViewerWindow, NullPointerIsLeftAlone)
{
    std::unique_ptr<VncViewerWindow> field;
    endViewerWindow(field);
    EXPECT_EQ(field, nullptr);
}
