#include "quillet/app/quilletmain.h"

#include "programfixture.h"

#include "platform/instancelock/instancelock.h"
#include "quillet/app/mainwindow.h"
#include "quillet/app/quilletconstants.h"
#include "quillet/dialogs/hmilogindlg.h"
#include "quillet/dialogs/projectstartdlg.h"
#include "quillet/dialogs/virtualporteditor.h"
#include "quillet/virtualcom/virtualcom.h"
#include "quillet/widgets/screentool.h"
#include "testing/fakepassthrough/modalanswerer.h"
#include "testing/vcomharness/setupcharness.h"
#include "testing/vcomharness/within.h"
#include "ui_hmilogindlg.h"
#include "ui_mainwindow.h"
#include "ui_projectstartdlg.h"
#include "ui_virtualporteditor.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

namespace {

// The user's runtime folder of this test, where the lock file lies.
class RuntimeFolder {
public:
    RuntimeFolder() { ::setenv("XDG_RUNTIME_DIR", m_dir.path().toUtf8().constData(), 1); }
    ~RuntimeFolder() { ::unsetenv("XDG_RUNTIME_DIR"); }

private:
    QTemporaryDir m_dir;
};

bool lockHeldElsewhere()
{
    Platform::InstanceLock probe(Quillet::kInstanceName);
    return probe.acquire() == Platform::LockResult::HeldElsewhere;
}

// The built program, offscreen, in the test's folders.
class ProgramCopy {
public:
    ProgramCopy()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QUILLET_PROGRAM, {"127.90.0.5"});
    }
    ~ProgramCopy()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
};

QStringList g_log;

void keepLog(QtMsgType, const QMessageLogContext&, const QString& message)
{
    g_log << message;
}

// Runs the entry with args; when its window shows, reads the address field and closes it.
QString addressShownFor(std::vector<std::string> args)
{
    VcomTesting::SetupcHarness tool;
    VirtualCom pair(QString::fromStdString(VcomTesting::SetupcHarness::toolFolder()) + "/");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(&arg[0]);
    argv.push_back(nullptr);
    QString shown = "(no window)";
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<MainWindow*>(widget); window && window->isVisible()) {
                shown = window->form()->serverIPLineEdit->text();
                window->close();
            }
        }
    });
    poll.start(20);
    const int result = runQuillet(*static_cast<QApplication*>(QApplication::instance()), static_cast<int>(args.size()),
                                  argv.data(), &pair);
    EXPECT_EQ(result, 0);
    return shown;
}

} // namespace

TEST(QuilletEntry, TheArgumentIsThePanelAddress)
{
    RuntimeFolder runtime;
    qInstallMessageHandler(keepLog);
    EXPECT_EQ(addressShownFor({"Quillet", "10.1.2.3"}), "10.1.2.3");
    qInstallMessageHandler(nullptr);
    EXPECT_TRUE(g_log.contains("ip=10.1.2.3")) << g_log.join('|').toStdString();
    EXPECT_EQ(QApplication::font().pointSize(), ScreenTool::fontSize(11) - 1);
    EXPECT_EQ(addressShownFor({"Quillet"}), "200.200.200.190");
    EXPECT_EQ(addressShownFor({"Quillet", "300.1.2.3"}), "200.200.200.190");
}

TEST(QuilletEntry, SecondCopyShowsTheBoxAndLeavesTheFirstAlone)
{
    RuntimeFolder runtime;
    VcomTesting::SetupcHarness tool; // the program's pair tool works in the test's folders
    {
        ProgramCopy first;
        ASSERT_TRUE(first.process().waitForStarted(10000));
        ASSERT_TRUE(VcomTesting::within(30000, [] { return lockHeldElsewhere(); }));

        Fake::ModalAnswerer answerer([](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
        char name[] = "Quillet";
        char* argv[] = {name, nullptr};
        EXPECT_EQ(runQuillet(*static_cast<QApplication*>(QApplication::instance()), 1, argv), -1);
        EXPECT_EQ(answerer.texts(), QStringList({Quillet::text(Quillet::Text::kSecondCopy)}));
        // The box speaks the window's language, its button too.
        EXPECT_EQ(answerer.titles(), QStringList({Quillet::text(Quillet::Text::kError)}));
        EXPECT_EQ(answerer.buttons(), QList<QStringList>({{QString::fromUtf8("确定")}}));
        EXPECT_EQ(first.process().state(), QProcess::Running);
        EXPECT_TRUE(lockHeldElsewhere());

        // Killed outright, the first copy leaves the lock to the next one.
        first.process().kill();
        ASSERT_TRUE(first.process().waitForFinished(10000));
    }
    EXPECT_FALSE(lockHeldElsewhere());
    ProgramCopy next;
    ASSERT_TRUE(next.process().waitForStarted(10000));
    EXPECT_TRUE(VcomTesting::within(30000, [] { return lockHeldElsewhere(); }));
    EXPECT_EQ(next.process().state(), QProcess::Running);
}

TEST(QuilletEntry, UnusableLockFolderAsksForRights)
{
    RuntimeFolder runtime;
    ::setenv("XDG_RUNTIME_DIR", "/proc/self/twqa-no-such-folder", 1);
    Fake::ModalAnswerer answerer([](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
    char name[] = "Quillet";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(runQuillet(*static_cast<QApplication*>(QApplication::instance()), 1, argv), -1);
    EXPECT_EQ(answerer.texts(), QStringList({Quillet::text(Quillet::Text::kNoLock)}));
    EXPECT_EQ(answerer.titles(), QStringList({Quillet::text(Quillet::Text::kError)}));
    EXPECT_EQ(answerer.buttons(), QList<QStringList>({{QString::fromUtf8("确定")}}));
}

TEST_F(QuilletProgram, ClosingDuringAStartEndsTheProgramAndThePassThrough)
{
    installPair();
    Quillet::Timing timing = Quillet::timing();
    timing.readyTryPauseMs = 1000; // the start waits seconds for the panel
    Quillet::setTiming(timing);
    // Not ready at first: left alone, the start would succeed after 3 s.
    panel->setAnswers("IsReady", {Fake::Answer::False, Fake::Answer::False, Fake::Answer::False}, Fake::Answer::True);
    RuntimeFolder runtime;
    pair = std::make_unique<VirtualCom>(QString::fromStdString(loggingFolder + "/"));

    MainWindow* shown = nullptr;
    bool started = false;
    bool clicked = false;
    bool closeOnTop = false;
    QElapsedTimer sinceClick;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!shown) {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* window = qobject_cast<MainWindow*>(widget); window && window->isVisible())
                    shown = window;
            }
            return;
        }
        if (!started) {
            started = true;
            // The start runs in a wait of its own, inside this tick.
            QTimer::singleShot(0, shown->form()->startTransferBtn, &QPushButton::click);
            return;
        }
        if (!clicked && panel->callCount("IsReady") >= 1) {
            // The busy overlay is up; the user clicks where the close button
            // is, as the window system delivers it.
            clicked = true;
            QPushButton* close = shown->form()->closeBtn;
            const QPoint at = close->mapTo(shown, close->rect().center());
            closeOnTop = shown->childAt(at) == close;
            sinceClick.start();
            QTest::mouseClick(shown->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
        }
    });
    poll.start(20);
    // Should the click be lost, the program is ended after a minute.
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    fallback.start(60000);

    std::string address = panel->address();
    std::string program = "Quillet";
    char* argv[] = {program.data(), address.data(), nullptr};
    const int result = runQuillet(*static_cast<QApplication*>(QApplication::instance()), 2, argv, pair.get());
    const qint64 took = sinceClick.isValid() ? sinceClick.elapsed() : -1;
    poll.stop();
    fallback.stop();

    ASSERT_TRUE(clicked) << "the start never reached the panel's readiness";
    EXPECT_TRUE(closeOnTop) << "the busy overlay covers the close button";
    EXPECT_EQ(result, 0) << "the program was ended by the fallback, not by the close button";
    EXPECT_GE(took, 0);
    EXPECT_LT(took, 6000) << "ms from the click to the program's end";
    EXPECT_TRUE(panel->waitFor([&] { return panel->callCount("Terminate") >= 1; }, std::chrono::seconds(6)));
    EXPECT_LT(panel->callCount("IsReady"), 4) << "the start went on after the close";
    EXPECT_FALSE(panel->dataPortOpen());
}

// A panel frozen as by SIGSTOP: its kernel still takes connections, the
// service reads and answers nothing, pings neither.
TEST_F(QuilletProgram, ClosingDuringAStartOnAFrozenPanelEndsTheProcessWithinFiveSeconds)
{
    installPair();
    RuntimeFolder runtime;
    panel->passThroughService().setReading(false);
    panel->projectService().setReading(false);

    QProcess helper;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    helper.setProcessEnvironment(env);
    helper.setProcessChannelMode(QProcess::MergedChannels);
    helper.start(QUILLET_CLOSING_HELPER,
                 {QString::fromStdString(panel->address()), QString::fromStdString(loggingFolder)});
    ASSERT_TRUE(helper.waitForStarted(10000));
    // The start waits for the project service's first answer, which never comes.
    ASSERT_TRUE(
        panel->waitFor([&] { return panel->projectService().acceptedConnections() >= 1; }, std::chrono::seconds(30)))
        << helper.readAll().toStdString();
    QThread::msleep(500);
    QElapsedTimer sinceClose;
    sinceClose.start();
    helper.write("close\n");
    const bool ended = helper.waitForFinished(20000);
    const qint64 took = sinceClose.elapsed();
    const QString output = QString::fromUtf8(helper.readAll());
    if (!ended)
        helper.kill();
    ASSERT_TRUE(ended) << output.toStdString();
    EXPECT_TRUE(output.contains("closing")) << output.toStdString();
    EXPECT_LT(took, 5000) << "ms from the close to the process's end";
    EXPECT_EQ(helper.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(helper.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("Quillet dispatcher: UiMsg \"start\" still runs")) << output.toStdString();
    EXPECT_EQ(panel->callCount("SetTransparentParam"), 0);
}

TEST_F(QuilletProgram, EveryDialogOfTheChineseWindowSpeaksChineseUnderItsOwnTitle)
{
    installPair();
    panel->setProjectPasswordDigest("202cb962ac59075b964b07152d234b70"); // MD5 of "123"
    RuntimeFolder runtime;
    pair = std::make_unique<VirtualCom>(QString::fromStdString(loggingFolder + "/"));

    // Logs in, declines the project's start, leaves the port as it is.
    Fake::ModalAnswerer answerer([](QWidget* dialog) {
        if (auto* login = qobject_cast<HmiLoginDlg*>(dialog)) {
            login->form()->passwdLineEdit->setText("123");
            login->form()->loginBtn->click();
        } else if (auto* prompt = qobject_cast<ProjectStartDlg*>(dialog)) {
            prompt->form()->cancelBtn->click();
        } else if (auto* editor = qobject_cast<VirtualPortEditor*>(dialog)) {
            editor->form()->cancelBtn->click();
        } else {
            static_cast<QDialog*>(dialog)->reject();
        }
    });
    QString windowTitle;
    QStringList windowButtons;
    QString started;
    QString changed;
    bool driven = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<MainWindow*>(widget);
            if (driven || !window || !window->isVisible())
                continue;
            driven = true;
            windowTitle = window->windowTitle();
            windowButtons = Fake::buttonTexts(window);
            // Each action returns once its dialog was answered and its work done.
            QTimer::singleShot(0, window, [&, window] {
                window->OpenVirtualChannel();
                started = window->form()->statusLabel->text();
                window->CloseVirtualChannel();
                window->ChangeVirtualPort();
                changed = window->form()->statusLabel->text();
                window->close();
            });
        }
    });
    poll.start(20);
    QTimer fallback;
    fallback.setSingleShot(true);
    QObject::connect(&fallback, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    fallback.start(120000);

    std::string address = panel->address();
    std::string program = "Quillet";
    char* argv[] = {program.data(), address.data(), nullptr};
    const int result = runQuillet(*static_cast<QApplication*>(QApplication::instance()), 2, argv, pair.get());
    poll.stop();
    fallback.stop();

    ASSERT_EQ(result, 0) << "the window did not close by itself";
    EXPECT_EQ(started, Quillet::text(Quillet::Text::kStarted));
    EXPECT_EQ(changed, Quillet::text(Quillet::Text::kInitialised)) << "the port editor was not cancelled";
    EXPECT_EQ(windowTitle, QString::fromUtf8("串口穿透"));
    EXPECT_EQ(Fake::notChinese(windowButtons), QStringList());
    EXPECT_EQ(answerer.seen(), QStringList({"HmiLoginDlg", "ProjectStartDlg", "VirtualPortEditor"}));
    EXPECT_EQ(answerer.titles(),
              QStringList({QString::fromUtf8("HMI密码"), QString::fromUtf8("提示框"), QString::fromUtf8("修改COM口")}));
    ASSERT_EQ(answerer.buttons().size(), 3);
    for (const QStringList& buttons : answerer.buttons()) {
        EXPECT_FALSE(buttons.isEmpty());
        EXPECT_EQ(Fake::notChinese(buttons), QStringList());
    }
}
