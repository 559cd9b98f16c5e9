// A work item's State and Complete reach the posting thread queued.
#include "quillet/dispatch/msgdispatcher.h"
#include "testing/main/eventwait.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <stdexcept>
#include <vector>

using TestWait::waitUntil;

TEST(QuilletDispatcher, ResultsAndStatesArriveQueuedOnThePostingThread)
{
    MsgDispatcher dispatcher;
    dispatcher.start();
    std::vector<int> results;
    std::vector<QString> states;
    QObject context;
    auto connectMsg = [&](UiMsg* msg) {
        QObject::connect(msg, &UiMsg::Complete, &context, [&](int code) {
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            results.push_back(code);
        });
        QObject::connect(msg, &UiMsg::State, &context, [&](bool, QString text) { states.push_back(text); });
    };
    std::unique_ptr<UiMsg> ok = std::make_unique<UiMsg>([](UiMsg* self) {
        emit self->State(true, "working");
        return 7;
    });
    std::unique_ptr<UiMsg> throwing = std::make_unique<UiMsg>(
        [](UiMsg*) -> int { throw std::runtime_error("broken"); });
    std::unique_ptr<UiMsg> empty = std::make_unique<UiMsg>(UiMsg::Job());
    std::unique_ptr<UiMsg> after = std::make_unique<UiMsg>([](UiMsg*) { return 0; });
    for (auto* holder : {&ok, &throwing, &empty, &after}) {
        connectMsg(holder->get());
        dispatcher.post(*holder);
    }
    ASSERT_TRUE(waitUntil([&] { return results.size() == 4; }, 5000));
    EXPECT_EQ(results, (std::vector<int>{7, -1, -1, 0}));
    EXPECT_EQ(states, (std::vector<QString>{"working"}));
}
