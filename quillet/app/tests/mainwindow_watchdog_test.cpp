#include "programfixture.h"

#include "quillet/app/quilletconstants.h"
#include "testing/main/logcapture.h"
#include "ui_mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

using Fake::Answer;
using Quillet::text;
namespace T = Quillet::Text;

TEST_F(QuilletProgram, ElevenFailedChecksThenAReadyOneKeepRunning)
{
    installPair();
    makeWindow();
    std::vector<Answer> script{Answer::True};
    script.insert(script.end(), 11, Answer::False);
    panel->setAnswers("IsReady", script, Answer::True);
    window->OpenVirtualChannel();
    ASSERT_EQ(status(), text(T::kStarted));
    ASSERT_TRUE(spin(20000, [&] { return panel->callCount("IsReady") >= 14; }));
    EXPECT_TRUE(window->passThroughRunning());
    EXPECT_TRUE(window->watchdogActive());
    EXPECT_EQ(window->readyCountdownValue(), 12);
    EXPECT_EQ(panel->callCount("Terminate"), 0);
}

TEST_F(QuilletProgram, TwelveFailedChecksLoseThePassThrough)
{
    installPair();
    makeWindow();
    panel->setIsReadyFalseFrom(2);
    window->OpenVirtualChannel();
    ASSERT_EQ(status(), text(T::kStarted));
    ASSERT_TRUE(spin(20000, [&] { return !window->passThroughRunning(); }));
    EXPECT_EQ(status(), text(T::kLost));
    EXPECT_EQ(statusColour(), 0);
    EXPECT_EQ(panel->callCount("IsReady"), 13);
    EXPECT_EQ(panel->callNames().back(), "Terminate");
    EXPECT_FALSE(window->watchdogActive());
    EXPECT_TRUE(window->form()->startTransferBtn->isEnabled());
    EXPECT_FALSE(window->form()->stopTransferBtn->isEnabled());
    EXPECT_TRUE(window->form()->hmiPortcomboBox->isEnabled());
}

TEST_F(QuilletProgram, ClosingDuringACheckEndsCleanly)
{
    installPair();
    makeWindow();
    panel->setAnswers("IsReady", {Answer::True}, Answer::Silent);
    window->OpenVirtualChannel();
    ASSERT_EQ(status(), text(T::kStarted));
    // Close the window the way the program does (the last window ends every
    // event loop) while a check waits for its silent answer.
    QElapsedTimer sinceClose;
    bool closed = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!closed && panel->callCount("IsReady") >= 2) {
            closed = true;
            window->close();
            sinceClose.start();
            QCoreApplication::exit(0);
        }
    });
    poll.start(10);
    ASSERT_TRUE(spin(20000, [&] { return closed; }));
    poll.stop();
    TestLog::LogCapture log;
    window.reset();
    // The check's call is held for its whole time-out: the window's end does
    // not wait that long, it leaves the check running.
    EXPECT_LT(sinceClose.elapsed(), 4500);
    EXPECT_TRUE(log.contains("Quillet dispatcher: UiMsg \"watchdog check\" still runs")) << log.all();
    clearExit();
    // The check it left, once given up by the panel, still ends the
    // pass-through with it.
    EXPECT_TRUE(panel->waitFor([&] { return panel->callCount("Terminate") >= 1; }, std::chrono::seconds(10)));
}

TEST_F(QuilletProgram, ClosingDuringThePasswordQuestionEndsCleanly)
{
    installPair();
    panel->setProjectPasswordDigest(std::string("202cb962ac59075b964b07152d234b70"));
    makeWindow();
    QElapsedTimer sinceClose;
    bool closed = false;
    Fake::ModalAnswerer answerer([&](QWidget*) {
        closed = true;
        window->close();
        sinceClose.start();
        QCoreApplication::exit(0);
    });
    window->OpenVirtualChannel();
    ASSERT_TRUE(closed);
    window.reset();
    EXPECT_LT(sinceClose.elapsed(), 6000);
    clearExit();
    EXPECT_EQ(panel->callCount("SetTransparentParam"), 0);
}
