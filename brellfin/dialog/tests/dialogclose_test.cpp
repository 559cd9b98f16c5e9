// Closing Brellfin while a piece of its batch is never answered, on an Xvfb
// display that openbox manages: the window leaves the screen within a second
// of the close (asked for as the title bar's close button asks) and the
// process ends within five, whether the panel still answers pings or reads
// nothing more at all. The program runs in brellfin_dialog_closechecks.

#include "testing/fakefileservice/fakefileservice.h"
#include "testing/xsession/xsession.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <string>

#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using namespace std::chrono_literals;

// One top-level window as the X server has it.
class ServerWindow {
public:
    ServerWindow(const QString& display, xcb_window_t window)
        : m_connection(xcb_connect(display.toLatin1().constData(), nullptr))
        , m_window(window)
    {
    }
    ~ServerWindow() { xcb_disconnect(m_connection); }
    ServerWindow(const ServerWindow&) = delete;
    ServerWindow& operator=(const ServerWindow&) = delete;

    bool connected() const { return !xcb_connection_has_error(m_connection); }
    // Mapped and seen; false once unmapped or destroyed.
    bool viewable()
    {
        xcb_generic_error_t* error = nullptr;
        const std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> reply(
            xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, m_window), &error),
            &std::free);
        std::free(error);
        return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    }
    // WM_DELETE_WINDOW, which a window manager sends for its close button.
    void askToClose()
    {
        xcb_client_message_event_t event;
        std::memset(&event, 0, sizeof event);
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = m_window;
        event.type = atom("WM_PROTOCOLS");
        event.data.data32[0] = atom("WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_connection, 0, m_window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        xcb_flush(m_connection);
    }

private:
    xcb_atom_t atom(const char* name)
    {
        const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
            xcb_intern_atom_reply(m_connection,
                                  xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
                                  nullptr),
            &std::free);
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    xcb_connection_t* m_connection;
    xcb_window_t m_window;
};

// Polls done every 10 ms for at most limitMs; true once it held.
template <class Done>
bool pollFor(Done done, int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return done();
        QThread::msleep(10);
    }
    return true;
}

TEST(BrellfinClose, WindowGoesWithinASecondAndTheProcessWithinFiveWhateverThePanelDoes)
{
    if (!TestX::XSession::missingTools().isEmpty())
        GTEST_SKIP() << TestX::XSession::missingTools().join(QLatin1Char(' ')).toStdString() << " not installed";
    TestX::XSession x(QSize(1366, 768), 96);
    std::string why;
    ASSERT_TRUE(x.start(&why)) << why;
    QTemporaryDir pc;
    ASSERT_TRUE(pc.isValid());
    const QString local = pc.filePath(QStringLiteral("big.bin"));
    {
        QFile file(local);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(1 << 20, 'z'));
    }
    for (const bool frozen : {false, true}) {
        SCOPED_TRACE(frozen ? "a panel that reads nothing more" : "a panel that answers pings only");
        Fake::FakeFileService panel;
        // Two pieces are answered, the third never.
        panel.setCallDelayFrom("download2", 3, std::chrono::hours(1));

        QProcess brellfin;
        QProcessEnvironment environment = x.environment();
        environment.insert(QStringLiteral("BRELLFIN_CLOSE_PANEL"), QString::fromStdString(panel.endpoint()));
        environment.insert(QStringLiteral("BRELLFIN_CLOSE_FILE"), local);
        brellfin.setProcessEnvironment(environment);
        brellfin.start(QStringLiteral(CLOSE_CHECKS_PROGRAM), QStringList());
        ASSERT_TRUE(brellfin.waitForStarted(10000));
        QByteArray output;
        ASSERT_TRUE(pollFor(
            [&] {
                brellfin.waitForReadyRead(10);
                output += brellfin.readAllStandardOutput();
                return output.contains("window ") && output.indexOf('\n', output.indexOf("window ")) > 0;
            },
            60000))
            << output.toStdString() << brellfin.readAllStandardError().toStdString();
        const int at = output.indexOf("window ") + 7;
        const xcb_window_t id = xcb_window_t(output.mid(at, output.indexOf('\n', at) - at).toULongLong());
        ServerWindow window(x.display().name(), id);
        ASSERT_TRUE(window.connected());
        ASSERT_TRUE(pollFor([&] { return window.viewable(); }, 60000));

        ASSERT_TRUE(pollFor([&] { return panel.count("download2") == 3; }, 60000));
        if (frozen)
            panel.panel().setReading(false);
        QThread::msleep(200);
        ASSERT_TRUE(window.viewable());
        ASSERT_EQ(brellfin.state(), QProcess::Running);

        QElapsedTimer clock;
        clock.start();
        window.askToClose();
        ASSERT_TRUE(pollFor([&] { return !window.viewable(); }, 10000));
        const qint64 gone = clock.elapsed();
        ASSERT_TRUE(brellfin.waitForFinished(10000));
        const qint64 ended = clock.elapsed();
        EXPECT_LT(gone, 1000);
        EXPECT_LT(ended, 5000);
        RecordProperty(frozen ? "frozen_window_gone_ms" : "pings_window_gone_ms", int(gone));
        RecordProperty(frozen ? "frozen_process_ended_ms" : "pings_process_ended_ms", int(ended));
        output += brellfin.readAllStandardOutput();
        EXPECT_EQ(brellfin.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(brellfin.exitCode(), 0) << output.toStdString() << brellfin.readAllStandardError().toStdString();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test.")) << output.toStdString();
        // Nothing more went out after the piece that waits.
        EXPECT_EQ(panel.count("download2"), 3u);
    }
}

} // namespace
