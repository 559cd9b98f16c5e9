// Start-up and the connect button against the fake file service on port
// 127, inside a user and network namespace that each test makes for itself:
// there 127.0.0.1 and the USB link's 200.200.201.1 are the namespace's own.
// Where no namespace can be made the tests are skipped before anything
// connects.
#include "brellfin/dialog/armconnectbtn.h"

#include "dialogfixture.h"

#include "brellfin/dialog/brellfinresources.h"
#include "brellfin/service/tests/recordingnotify.h"
#include "brellfin/ui/tests/namespacerun.h"
#include "testing/fakefileservice/fakefileservice.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace {

using namespace BrellfinUi;

// The USB link's address, on the namespace's own lo.
const QString kUsbAddressOnLo = QStringLiteral("200.200.201.1/32");

class StartAndConnect : public DialogFixture {
protected:
    void TearDown() override
    {
        destroyDialog();
        m_local.reset();
        m_usb.reset();
        DialogFixture::TearDown();
    }
    void startPanel(bool usb = false)
    {
        m_local = std::make_unique<Fake::FakeFileService>("127.0.0.1", 127);
        if (usb)
            m_usb = std::make_unique<Fake::FakeFileService>("200.200.201.1", 127);
    }
    int linesWith(StringId id)
    {
        int n = 0;
        for (const QString& line : logLines())
            n += line.endsWith("]    " + text(id)) ? 1 : 0;
        return n;
    }

    std::unique_ptr<Fake::FakeFileService> m_local;
    std::unique_ptr<Fake::FakeFileService> m_usb;
};

void expectConnectedState(CBrellfinDlg& dlg)
{
    EXPECT_TRUE(dlg.connectedState());
    EXPECT_FALSE(dlg.GetDlgItem(kIdConnectType)->isEnabled());
    EXPECT_FALSE(dlg.GetDlgItem(kIdAddress)->isEnabled());
    for (int id : {kIdRemotePath, kIdRemoteUp, kIdRemoteRefresh, kIdDestDir})
        EXPECT_TRUE(dlg.GetDlgItem(id)->isEnabled()) << id;
    EXPECT_EQ(::GetWindowText(dlg.GetDlgItem(kIdConnect)), "disconnect");
    EXPECT_EQ(dlg.statusPicture().GetBitmapId(), static_cast<UINT>(kBitmapConnected));
    EXPECT_EQ(::GetWindowText(dlg.GetDlgItem(kIdStatusText)), "connected");
    EXPECT_TRUE(dlg.hasTimer(1));
}

TEST_F(StartAndConnect, AddressArgumentConnectsAndRemembersTheChoice)
{
    TWBF_IN_NAMESPACE(kUsbAddressOnLo);
    startPanel();
    writeIni("[Path]\r\nCurPath=/storage/user_dir/remembered\r\n");
    start({"127.0.0.1"});
    EXPECT_FALSE(dialog().isEnded());
    expectConnectedState(dialog());
    EXPECT_TRUE(m_boxes.empty());
    // The remembered folder is made before it is listed.
    const std::vector<std::string> methods = m_local->methods();
    const auto created = std::find(methods.begin(), methods.end(), "createFolder");
    const auto listed = std::find(methods.begin(), methods.end(), "searchFolders");
    ASSERT_NE(created, methods.end());
    ASSERT_NE(listed, methods.end());
    EXPECT_LT(created - methods.begin(), listed - methods.begin());
    EXPECT_TRUE(m_local->exists("/storage/user_dir/remembered"));
    EXPECT_EQ(dialog().remoteList()->currentPath(), "/storage/user_dir/remembered");
    EXPECT_EQ(itemText(kIdRemoteFrame), "remembered");
    EXPECT_EQ(itemText(kIdRemotePath), "/");
    const QByteArray ini = iniBytes();
    EXPECT_TRUE(ini.contains("connect_type=tcp")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("ipInfo=127.0.0.1")) << ini.toStdString();
    EXPECT_EQ(linesWith(StringId::ConnectSuccess), 0);
    EXPECT_TRUE(logLines().filter("127.0.0.1 connect success.").size() == 1);
    EXPECT_TRUE(logLines().filter("127.0.0.1 connected").size() == 1);
}

TEST_F(StartAndConnect, LostSessionTurnsTheWindowDisconnectedWithinTwoTicks)
{
    TWBF_IN_NAMESPACE(kUsbAddressOnLo);
    startPanel();
    m_local->putFile("/storage/user_dir/a.txt", {1});
    start({"127.0.0.1"});
    ASSERT_TRUE(dialog().connectedState());
    EXPECT_EQ(dialog().remoteList()->GetItemCount(), 1);
    m_local.reset();
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(waitUntil([this] { return !dialog().fileService()->isConnected(); }, 10000));
    const qint64 seen = clock.elapsed();
    ASSERT_TRUE(waitUntil([this] { return !dialog().connectedState(); }, 10000));
    EXPECT_LT(clock.elapsed() - seen, 3000);
    EXPECT_EQ(dialog().remoteList()->GetItemCount(), 0);
    EXPECT_FALSE(dialog().hasTimer(1));
    EXPECT_TRUE(item(kIdConnectType)->isEnabled());
    EXPECT_TRUE(item(kIdAddress)->isEnabled());
    EXPECT_FALSE(item(kIdRemotePath)->isEnabled());
    EXPECT_EQ(itemText(kIdConnect), "connect");
    EXPECT_EQ(dialog().statusPicture().GetBitmapId(), static_cast<UINT>(kBitmapDisconnected));
    EXPECT_EQ(itemText(kIdRemoteFrame), "disconnected");
    EXPECT_EQ(logLines().filter("127.0.0.1 disconnected").size(), 1);
    EXPECT_TRUE(m_boxes.empty());
}

TEST_F(StartAndConnect, NothingListeningWarnsAndEndsTheStartWithoutWriting)
{
    TWBF_IN_NAMESPACE(kUsbAddressOnLo);
    const QByteArray before = "[ip]\r\nipInfo=10.0.0.7\r\nconnect_type=tcp\r\n";
    writeIni(before);
    start({"127.0.0.1"});
    EXPECT_TRUE(dialog().isEnded());
    EXPECT_EQ(dialog().endResult(), IDCANCEL);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, "connect failed!");
    EXPECT_EQ(m_boxes[0].caption, "Warning");
    EXPECT_EQ(m_boxes[0].type, MB_OK | MB_ICONWARNING);
    EXPECT_EQ(logLines().filter("127.0.0.1 connect failed!").size(), 1);
    EXPECT_EQ(iniBytes(), before);
}

TEST_F(StartAndConnect, AddressesThatAreNoDottedQuadTakeTheFailurePath)
{
    TWBF_IN_NAMESPACE(kUsbAddressOnLo);
    startPanel();
    // 383 would wrap to 127 in a byte: the fake listens there.
    for (const char* bad : {"1.2.3", "300.1.1.1", "383.0.0.1"}) {
        m_boxes.clear();
        start({bad});
        EXPECT_TRUE(dialog().isEnded()) << bad;
        EXPECT_EQ(dialog().endResult(), IDCANCEL);
        ASSERT_EQ(m_boxes.size(), 1u) << bad;
        EXPECT_EQ(m_boxes[0].text, "connect failed!");
        destroyDialog();
    }
    // Typed into a started tool.
    start();
    for (const char* bad : {"1.2.3", "300.1.1.1", "383.0.0.1", "1..2.3"}) {
        m_boxes.clear();
        dialog().addressControl()->setAddress(bad);
        dialog().connectButton().click();
        ASSERT_EQ(m_boxes.size(), 1u) << bad;
        EXPECT_EQ(m_boxes[0].text, "connect failed!");
        EXPECT_EQ(itemText(kIdConnect), "connect");
        EXPECT_FALSE(dialog().connectedState());
        EXPECT_EQ(logLines().filter(QString(bad) + " connect failed!").size(), 1) << bad;
    }
    EXPECT_TRUE(m_local->methods().empty());
    EXPECT_TRUE(iniBytes().isEmpty());
}

TEST_F(StartAndConnect, UsbTypeConnectsToTheUsbAddressAndLeavesTheAddressAlone)
{
    TWBF_IN_NAMESPACE(kUsbAddressOnLo);
    startPanel(true);
    writeIni("[ip]\r\nconnect_type=usb\r\nipInfo=10.0.0.9\r\n");
    start({"127.0.0.1"});
    ASSERT_FALSE(dialog().isEnded());
    EXPECT_TRUE(dialog().connectedState());
    EXPECT_FALSE(m_usb->methods().empty());
    EXPECT_TRUE(m_local->methods().empty());
    EXPECT_FALSE(item(kIdAddress)->isEnabled());
    const QByteArray ini = iniBytes();
    EXPECT_TRUE(ini.contains("ipInfo=10.0.0.9")) << ini.toStdString();
    EXPECT_TRUE(ini.contains("connect_type=usb"));
    EXPECT_EQ(linesWith(StringId::UsbConnectSuccess), 1);
    EXPECT_EQ(logLines().filter("USB communication connected").size(), 1);
}

TEST_F(StartAndConnect, EnterSendsThePasswordAndAWrongOneIsAskedAgainInTheFocusedField)
{
    TWBF_IN_NAMESPACE(kUsbAddressOnLo);
    startPanel();
    m_local->setProjectPassword("right");
    int shown = 0;
    QStringList startTexts;
    QStringList selectedTexts;
    int focused = 0;
    Mfc::setModalAnswerer([&](CDialog& dlg) {
        // A password that never comes right ends the connect instead of the test.
        if (shown >= 6) {
            dlg.OnCommand(IDCANCEL, 0);
            return;
        }
        auto* field = qobject_cast<QLineEdit*>(dlg.GetDlgItem(kIdPassword));
        ASSERT_NE(field, nullptr);
        startTexts << field->text();
        selectedTexts << field->selectedText();
        focused += dlg.focusWidget() == field ? 1 : 0;
        ++shown;
        // Typed over the selected text, then Enter in the field: OK.
        field->insert(shown <= 3 ? QStringLiteral("wrong%1").arg(shown) : "right");
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QApplication::sendEvent(field, &enter);
        EXPECT_TRUE(dlg.isEnded());
        EXPECT_EQ(dlg.endResult(), IDOK);
    });
    start({"127.0.0.1"});
    EXPECT_EQ(shown, 4);
    // The one dialog is shown again with the text entered last, selected in
    // the focused field.
    EXPECT_EQ(startTexts, (QStringList{"", "wrong1", "wrong2", "wrong3"}));
    EXPECT_EQ(selectedTexts, startTexts);
    EXPECT_EQ(focused, 4);
    ASSERT_EQ(m_boxes.size(), 3u);
    for (const auto& box : m_boxes) {
        EXPECT_EQ(box.text, text(StringId::PasswordWrong));
        EXPECT_EQ(box.caption, "Warning");
        EXPECT_EQ(box.type, MB_OK);
    }
    EXPECT_EQ(linesWith(StringId::PasswordWrong), 3);
    EXPECT_EQ(linesWith(StringId::PasswordCorrect), 1);
    const QStringList lines = logLines();
    EXPECT_LT(lines.lastIndexOf(QRegularExpression(".*" + QRegularExpression::escape(text(StringId::PasswordWrong)))),
              lines.indexOf(QRegularExpression(".*" + QRegularExpression::escape(text(StringId::PasswordCorrect)))));
    EXPECT_EQ(m_local->count("projectCheckPassword"), 4u);
    expectConnectedState(dialog());
}

// The password dialog's answerer: types text into the field and presses
// Enter (OK); from the seventh showing on it cancels, so that a password
// that never passes ends the connect instead of the test.
std::function<void(CDialog&)> typePassword(int& shown, std::function<QString(int)> text)
{
    return [&shown, text](CDialog& dlg) {
        if (shown >= 6) {
            dlg.OnCommand(IDCANCEL, 0);
            return;
        }
        ++shown;
        auto* field = qobject_cast<QLineEdit*>(dlg.GetDlgItem(kIdPassword));
        ASSERT_NE(field, nullptr);
        field->selectAll();
        field->insert(text(shown));
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
        QApplication::sendEvent(field, &enter);
    };
}

// A question about the project password that the panel leaves without an
// answer is a failed connect, in both languages: the warning and the log
// line of a failed connect, the session dropped, and the start ends; never
// the wrong-password box.
TEST_F(StartAndConnect, APasswordQuestionWithoutAnswerIsAFailedConnectNeverAWrongPassword)
{
    TWBF_IN_NAMESPACE(kUsbAddressOnLo);
    constexpr unsigned int kCallLimitMs = 3000;
    const auto held = std::chrono::seconds(20);
    struct Case {
        const char* what;
        const char* method; // the call that gets no answer
        bool dropped;       // its connection breaks instead of a held answer
    };
    const Case cases[] = {
        {"the check's answer held", "projectCheckPassword", false},
        {"the check's connection broken", "projectCheckPassword", true},
        {"the question's answer held", "projectHasPassword", false},
        {"the question's connection broken", "projectHasPassword", true},
    };
    for (int language : {1033, 2052}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + " " + std::to_string(language));
            setLanguage(language);
            m_boxes.clear();
            startPanel();
            m_local->setProjectPassword("right");
            const bool atCheck = std::string(c.method) == "projectCheckPassword";
            if (c.dropped)
                m_local->dropConnectionAfterCalls(atCheck ? 1 : 0);
            else
                m_local->setCallDelay(c.method, held);
            int shown = 0;
            Mfc::setModalAnswerer(typePassword(shown, [](int) { return QStringLiteral("right"); }));
            std::unique_ptr<CursorDuringCall> during;
            if (!c.dropped)
                during = std::make_unique<CursorDuringCall>([&] { return m_local->count(c.method) > 0; });
            QElapsedTimer clock;
            clock.start();
            start({"127.0.0.1"}, [](CBrellfinDlg& dlg) { dlg.fileService()->setCallTimeOut(kCallLimitMs); });
            const qint64 took = clock.elapsed();
            if (during) {
                EXPECT_TRUE(during->waitShown());
                EXPECT_GE(took, qint64(kCallLimitMs) - 100);
            }
            EXPECT_FALSE(waitCursorShown());
            EXPECT_LT(took, 15000);

            EXPECT_EQ(shown, atCheck ? 1 : 0);
            ASSERT_EQ(m_boxes.size(), 1u) << boxTexts().join(" | ").toStdString();
            EXPECT_EQ(m_boxes[0].text,
                      language == 2052 ? QStringLiteral("连接失败") : QStringLiteral("connect failed!"));
            EXPECT_EQ(m_boxes[0].caption, text(StringId::Warning));
            EXPECT_EQ(m_boxes[0].type, MB_OK | MB_ICONWARNING);
            EXPECT_EQ(logLines().filter("127.0.0.1 " + text(StringId::ConnectFailed)).size(), 1);
            EXPECT_EQ(linesWith(StringId::PasswordWrong), 0);
            EXPECT_EQ(linesWith(StringId::PasswordCorrect), 0);
            EXPECT_EQ(m_local->count("projectCheckPassword"), atCheck ? 1u : 0u);

            // The session is dropped, on the panel's side too, and the start ends.
            EXPECT_FALSE(dialog().fileService()->isConnected());
            EXPECT_TRUE(waitUntil([this] { return m_local->panel().openConnections() == 0; }, 10000));
            EXPECT_FALSE(dialog().connectedState());
            EXPECT_EQ(itemText(kIdConnect), text(StringId::Connect));
            EXPECT_TRUE(dialog().isEnded());
            EXPECT_EQ(dialog().endResult(), IDCANCEL);
            EXPECT_TRUE(iniBytes().isEmpty());
            destroyDialog();
            m_local.reset();
        }
    }
}

// The panel's answer false is a wrong password: the box, the log line and
// the dialog again; a check after it that gets no answer fails the typed
// connect, and the next press connects once the panel answers again.
TEST_F(StartAndConnect, AWrongPasswordIsAskedAgainAndACheckWithoutAnswerFailsTheTypedConnect)
{
    TWBF_IN_NAMESPACE(kUsbAddressOnLo);
    startPanel();
    m_local->setProjectPassword("right");
    start();
    dialog().fileService()->setCallTimeOut(1500);
    // The first check is answered at once, the second is held.
    m_local->setCallDelayFrom("projectCheckPassword", 2, std::chrono::seconds(20));
    int shown = 0;
    Mfc::setModalAnswerer(typePassword(shown, [](int n) { return n == 1 ? QStringLiteral("wrong") : "right"; }));
    dialog().addressControl()->setAddress("127.0.0.1");
    dialog().connectButton().click();

    EXPECT_EQ(shown, 2);
    ASSERT_EQ(m_boxes.size(), 2u) << boxTexts().join(" | ").toStdString();
    EXPECT_EQ(m_boxes[0].text, text(StringId::PasswordWrong));
    EXPECT_EQ(m_boxes[0].type, MB_OK);
    EXPECT_EQ(m_boxes[1].text, "connect failed!");
    EXPECT_EQ(m_boxes[1].type, MB_OK | MB_ICONWARNING);
    EXPECT_EQ(linesWith(StringId::PasswordWrong), 1);
    EXPECT_EQ(logLines().filter("127.0.0.1 connect failed!").size(), 1);
    EXPECT_EQ(m_local->count("projectCheckPassword"), 2u);
    EXPECT_FALSE(dialog().fileService()->isConnected());
    EXPECT_TRUE(waitUntil([this] { return m_local->panel().openConnections() == 0; }, 10000));
    EXPECT_FALSE(dialog().connectedState());
    EXPECT_FALSE(dialog().isEnded());
    EXPECT_EQ(itemText(kIdConnect), "connect");
    EXPECT_TRUE(iniBytes().isEmpty());

    m_local->setCallDelay("projectCheckPassword", std::chrono::milliseconds(0));
    m_boxes.clear();
    shown = 1; // the next showing types "right"
    dialog().connectButton().click();
    EXPECT_EQ(shown, 2);
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_EQ(linesWith(StringId::PasswordCorrect), 1);
    expectConnectedState(dialog());
}

TEST_F(StartAndConnect, CancelledPasswordDropsTheSessionAndEndsTheStart)
{
    TWBF_IN_NAMESPACE(kUsbAddressOnLo);
    startPanel();
    m_local->setProjectPassword("right");
    Mfc::setModalAnswerer([](CDialog& dlg) { dlg.OnCommand(IDCANCEL, 0); });
    start({"127.0.0.1"});
    EXPECT_TRUE(dialog().isEnded());
    EXPECT_EQ(dialog().endResult(), IDCANCEL);
    EXPECT_FALSE(dialog().fileService()->isConnected());
    EXPECT_FALSE(dialog().connectedState());
    EXPECT_TRUE(m_boxes.empty());
    EXPECT_EQ(itemText(kIdConnect), "connect");
    EXPECT_TRUE(iniBytes().isEmpty());
}

TEST_F(StartAndConnect, DisconnectDuringASlowTransferReturnsWithinAboutOnePiece)
{
    TWBF_IN_NAMESPACE(kUsbAddressOnLo);
    startPanel();
    start({"127.0.0.1"});
    ASSERT_TRUE(dialog().connectedState());
    const QString local = folder() + "/big.bin";
    {
        QFile file(local);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(1 << 20, 'x'));
    }
    m_local->setKeepLog(true);
    m_local->setCallDelay("download2", std::chrono::milliseconds(200));
    RecordingNotify notify;
    ASSERT_TRUE(
        dialog().fileService()->startSendToPanel({{local.toStdString(), "/storage/user_dir/big.bin"}}, &notify));
    ASSERT_TRUE(waitUntil([this] { return m_local->count("download2") >= 2; }, 20000));
    QElapsedTimer clock;
    clock.start();
    dialog().connectButton().click();
    const qint64 took = clock.elapsed();
    // 256 pieces of 200 ms each would be 50 s; one piece and the wind-down is well under 3 s.
    EXPECT_LT(took, 3000);
    EXPECT_FALSE(dialog().connectedState());
    EXPECT_FALSE(dialog().fileService()->isConnected());
    EXPECT_EQ(notify.failureCode(), 3);
    EXPECT_EQ(logLines().filter("127.0.0.1 disconnected").size(), 1);
    EXPECT_TRUE(m_boxes.empty());
}

} // namespace
