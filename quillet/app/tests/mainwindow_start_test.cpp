#include "programfixture.h"

#include "platform/serial/serialport.h"
#include "platform/serial/serialsettings.h"
#include "quillet/app/quilletconstants.h"
#include "quillet/dialogs/hmilogindlg.h"
#include "quillet/dialogs/projectstartdlg.h"
#include "testing/vcomharness/within.h"
#include "ui_hmilogindlg.h"
#include "ui_mainwindow.h"
#include "ui_projectstartdlg.h"

#include <QPushButton>

using Fake::Answer;
using Fake::ModalAnswerer;
using Quillet::text;
namespace T = Quillet::Text;

namespace {

const char* const kMd5Of123 = "202cb962ac59075b964b07152d234b70";

// Logs in with password when the login dialog shows.
ModalAnswerer::Handler logInWith(const QString& password)
{
    return [password](QWidget* dialog) {
        if (auto* login = qobject_cast<HmiLoginDlg*>(dialog)) {
            login->form()->passwdLineEdit->setText(password);
            login->form()->loginBtn->click();
        }
    };
}

// Types password into the login dialog and presses Enter.
ModalAnswerer::Handler logInByEnterWith(const QString& password)
{
    return [password](QWidget* dialog) {
        if (auto* login = qobject_cast<HmiLoginDlg*>(dialog)) {
            login->form()->passwdLineEdit->setText(password);
            Fake::pressKey(login, Qt::Key_Return);
        }
    };
}

// Answers yes when the project start prompt shows.
void startTheProject(QWidget* dialog)
{
    if (auto* prompt = qobject_cast<ProjectStartDlg*>(dialog))
        prompt->form()->okBtn->click();
}

} // namespace

TEST_F(QuilletProgram, NoPairIsReportedBeforeABadAddress)
{
    makeWindow();
    window->setIp("0.0.0.0");
    window->OpenVirtualChannel();
    EXPECT_EQ(status(), text(T::kNoPair));
    EXPECT_EQ(statusColour(), 0);
    EXPECT_TRUE(panel->calls().empty());
}

TEST_F(QuilletProgram, EmptyOrZeroAddressMakesNoCall)
{
    installPair();
    makeWindow();
    for (int i = 0; i < 4; ++i)
        window->form()->serverIPLineEdit->field(i)->clear();
    window->OpenVirtualChannel();
    EXPECT_EQ(status(), text(T::kNoAddress));
    window->setIp("0.0.0.0");
    window->OpenVirtualChannel();
    EXPECT_EQ(status(), text(T::kNoAddress));
    EXPECT_TRUE(panel->calls().empty());
    EXPECT_TRUE(window->form()->startTransferBtn->isEnabled());
}

TEST_F(QuilletProgram, StartCarriesBytesBothWaysAndStopOffersTheProject)
{
    installPair();
    Serial::Port user;
    ASSERT_EQ(user.open("COM2"), Serial::OpenResult::Ok);
    Serial::Settings settings;
    ASSERT_TRUE(Serial::parseSettings("baud=9600 parity=N data=8 stop=1", &settings));
    ASSERT_TRUE(user.apply(settings));
    makeWindow();

    window->OpenVirtualChannel();
    ASSERT_EQ(status(), text(T::kStarted));
    EXPECT_EQ(statusColour(), 1);
    EXPECT_TRUE(window->passThroughRunning());
    EXPECT_FALSE(window->form()->startTransferBtn->isEnabled());
    EXPECT_TRUE(window->form()->stopTransferBtn->isEnabled());
    const int port = panel->lastTcpPort();
    EXPECT_GE(port, 30000);
    EXPECT_LE(port, 30099);
    EXPECT_EQ(port, window->lastTcpPort());
    EXPECT_EQ(panel->lastSerialPort(), "COM1");
    EXPECT_EQ(panel->callCount("projectHasPassword"), 1);

    // The escape byte goes out doubled and comes back single.
    ASSERT_EQ(user.write("ab\x61\xFF", 4), 4);
    std::string echoed;
    ASSERT_TRUE(VcomTesting::within(8000,
                                    [&] {
                                        char buf[16];
                                        const int n = user.read(buf, sizeof buf);
                                        if (n > 0)
                                            echoed.append(buf, static_cast<size_t>(n));
                                        return echoed.size() >= 4;
                                    }))
        << "echoed " << echoed.size() << " bytes; the panel got " << panel->dataReceived().size() << " data bytes and "
        << panel->stateRecords().size() << " records on " << panel->dataConnectionsAccepted() << " connections";
    EXPECT_EQ(echoed, std::string("ab\x61\xFF", 4));
    const std::vector<uint32_t> rates = panel->baudRates();
    ASSERT_FALSE(rates.empty());
    EXPECT_EQ(rates.front(), 9600u);

    ModalAnswerer answerer(startTheProject);
    window->CloseVirtualChannel();
    EXPECT_EQ(answerer.seen(), QStringList({"ProjectStartDlg"}));
    EXPECT_EQ(status(), text(T::kProjectStarted));
    EXPECT_EQ(panel->callCount("Terminate"), 1);
    EXPECT_EQ(panel->callCount("projectStart"), 1);
    EXPECT_FALSE(window->passThroughRunning());
    EXPECT_FALSE(window->watchdogActive());
    EXPECT_TRUE(window->form()->startTransferBtn->isEnabled());
    EXPECT_FALSE(panel->dataPortOpen());
}

TEST_F(QuilletProgram, StopWithoutPassThroughStillOffersTheProject)
{
    makeWindow();
    panel->setAnswer("projectStart", Answer::False);
    ModalAnswerer answerer(startTheProject);
    window->CloseVirtualChannel();
    EXPECT_EQ(status(), text(T::kProjectFailed));
    EXPECT_EQ(statusColour(), 0);
    EXPECT_EQ(panel->callNames(), (std::vector<std::string>{"projectStart"}));
}

TEST_F(QuilletProgram, PasswordTravelsAsItsDigest)
{
    installPair();
    panel->setProjectPasswordDigest(std::string(kMd5Of123));
    makeWindow();
    ModalAnswerer answerer(logInWith("123"));
    window->OpenVirtualChannel();
    EXPECT_EQ(status(), text(T::kStarted));
    EXPECT_EQ(answerer.seen(), QStringList({"HmiLoginDlg"}));
    EXPECT_EQ(panel->checkedDigests(), (std::vector<std::string>{kMd5Of123}));
}

TEST_F(QuilletProgram, EnterInThePasswordDialogSendsTheLogin)
{
    installPair();
    panel->setProjectPasswordDigest(std::string(kMd5Of123));
    makeWindow();
    ModalAnswerer answerer(logInByEnterWith("123"));
    window->OpenVirtualChannel();
    EXPECT_EQ(status(), text(T::kStarted));
    EXPECT_EQ(answerer.seen(), QStringList({"HmiLoginDlg"}));
    EXPECT_EQ(panel->checkedDigests(), (std::vector<std::string>{kMd5Of123}));
    EXPECT_FALSE(window->isMinimized());
}

TEST_F(QuilletProgram, NoKeyMinimisesTheWindow)
{
    installPair();
    makeWindow();
    Ui_MainWindow* form = window->form();
    for (QPushButton* button : {form->minBtn, form->closeBtn}) {
        EXPECT_EQ(button->focusPolicy(), Qt::NoFocus) << button->objectName().toStdString();
        EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
        EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    }
    // Enter at the focus the window opens with, then wherever the keyboard
    // can go (a title-bar button never being among those, no Space or other
    // key can press one either).
    for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
        Fake::pressKey(window.get(), key);
        ASSERT_FALSE(window->isMinimized()) << "key " << key;
    }
    EXPECT_TRUE(window->isVisible());
    int stops = 0;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!widget->isEnabled() || !widget->isVisible() || !(widget->focusPolicy() & Qt::TabFocus))
            continue;
        EXPECT_FALSE(form->titleWidget->isAncestorOf(widget)) << widget->objectName().toStdString();
        widget->setFocus();
        for (int key : {Qt::Key_Return, Qt::Key_Enter}) {
            Fake::pressKey(window.get(), key);
            ASSERT_FALSE(window->isMinimized()) << widget->objectName().toStdString() << " key " << key;
        }
        ++stops;
    }
    EXPECT_GT(stops, 3);
    EXPECT_TRUE(panel->calls().empty()) << "a key started something";
}

TEST_F(QuilletProgram, WrongPasswordIsRefused)
{
    installPair();
    panel->setProjectPasswordDigest(std::string(kMd5Of123));
    makeWindow();
    ModalAnswerer answerer(logInWith("124"));
    window->OpenVirtualChannel();
    EXPECT_EQ(status(), text(T::kPasswordRefused));
    EXPECT_EQ(panel->callCount("SetTransparentParam"), 0);
    EXPECT_TRUE(window->form()->startTransferBtn->isEnabled());
}

TEST_F(QuilletProgram, CancelledLoginEndsTheStartBeforeTheParameters)
{
    installPair();
    panel->setProjectPasswordDigest(std::string(kMd5Of123));
    makeWindow();
    ModalAnswerer answerer([](QWidget* dialog) {
        if (auto* login = qobject_cast<HmiLoginDlg*>(dialog))
            login->form()->closeBtn->click();
    });
    window->OpenVirtualChannel();
    EXPECT_EQ(status(), text(T::kLoginCancelled));
    EXPECT_EQ(statusColour(), 0);
    EXPECT_EQ(panel->callCount("SetTransparentParam"), 0);
    EXPECT_EQ(panel->callCount("projectCheckPassword"), 0);
    EXPECT_TRUE(window->form()->startTransferBtn->isEnabled());
    EXPECT_FALSE(window->form()->stopTransferBtn->isEnabled());
}

TEST_F(QuilletProgram, NoPasswordNoDialogNoCheck)
{
    installPair();
    makeWindow();
    ModalAnswerer answerer([](QWidget* dialog) { static_cast<QDialog*>(dialog)->reject(); });
    window->OpenVirtualChannel();
    EXPECT_EQ(status(), text(T::kStarted));
    EXPECT_TRUE(answerer.seen().isEmpty());
    EXPECT_EQ(panel->callCount("projectCheckPassword"), 0);
}

TEST_F(QuilletProgram, RefusedParametersAndAnUnreachablePanel)
{
    installPair();
    makeWindow();
    panel->setAnswer("SetTransparentParam", Answer::False);
    window->OpenVirtualChannel();
    EXPECT_EQ(status(), text(T::kStartRefused));
    // The refused start still ends with "Terminate".
    EXPECT_EQ(panel->callNames().back(), "Terminate");

    window->setIp("127.90.0.9"); // nothing listens there
    window->OpenVirtualChannel();
    EXPECT_EQ(status(), text(T::kNetworkFailed));
    EXPECT_TRUE(window->form()->startTransferBtn->isEnabled());
}

TEST_F(QuilletProgram, PanelNeverReadyGivesUpWithinTheTries)
{
    installPair();
    makeWindow();
    panel->setAnswer("IsReady", Answer::False);
    window->OpenVirtualChannel();
    EXPECT_EQ(status(), text(T::kRemoteFailed));
    EXPECT_GE(panel->callCount("IsReady"), 1);
    EXPECT_LE(panel->callCount("IsReady"), 10);
    EXPECT_EQ(panel->callNames().back(), "Terminate");
    EXPECT_FALSE(window->passThroughRunning());
    EXPECT_TRUE(window->form()->startTransferBtn->isEnabled());
}

TEST_F(QuilletProgram, SilentReadinessEndsTheStartAfterOneCall)
{
    installPair();
    makeWindow();
    panel->setAnswers("IsReady", {Answer::Silent}, Answer::True);
    window->OpenVirtualChannel();
    EXPECT_EQ(status(), text(T::kRemoteFailed));
    EXPECT_EQ(panel->callCount("IsReady"), 1);
}

TEST_F(QuilletProgram, DataPortNeverOpenedFailsLocally)
{
    installPair();
    makeWindow();
    panel->setOpenDataPort(false);
    window->OpenVirtualChannel();
    EXPECT_EQ(status(), text(T::kLocalFailed));
    EXPECT_EQ(panel->callCount("IsReady"), 0);
    EXPECT_EQ(panel->callNames().back(), "Terminate");
}

TEST(QuilletPortDraw, PortsStayInTheirRangeAndPanelNames)
{
    for (int i = 0; i < 2000; ++i) {
        const int port = MainWindow::drawTcpPort();
        ASSERT_GE(port, 30000);
        ASSERT_LE(port, 30099);
    }
    EXPECT_EQ(MainWindow::panelPortName(0), "COM1");
    EXPECT_EQ(MainWindow::panelPortName(14), "COM15");
    EXPECT_EQ(MainWindow::panelPortName(15), "");
    EXPECT_EQ(MainWindow::panelPortName(-1), "");
}

TEST_F(QuilletProgram, FailedProjectCallsAreNetworkFailures)
{
    installPair();
    makeWindow();
    panel->setAnswer("projectHasPassword", Answer::WrongType);
    window->OpenVirtualChannel();
    EXPECT_EQ(status(), text(T::kNetworkFailed));
    EXPECT_EQ(panel->callCount("SetTransparentParam"), 0);

    panel->setAnswer("projectHasPassword", Answer::True);
    panel->setProjectPasswordDigest(std::string(kMd5Of123));
    panel->setAnswer("projectCheckPassword", Answer::Silent);
    ModalAnswerer answerer(logInWith("123"));
    window->OpenVirtualChannel();
    EXPECT_EQ(status(), text(T::kNetworkFailed));
    EXPECT_EQ(statusColour(), 0);
    EXPECT_EQ(panel->callCount("SetTransparentParam"), 0);
    EXPECT_TRUE(window->form()->startTransferBtn->isEnabled());
}
