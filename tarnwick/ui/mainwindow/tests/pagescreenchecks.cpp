// The main window's two device lists and its settings box on the X display
// that tarnwickscreen_test starts (Xvfb with openbox), at the screen's DPI:
// the cloud list with the fake cloud's devices and the local list with
// panels on this process's own loopback addresses show every column within
// the table's viewport, with no horizontal scroll bar; the settings box lies
// within the work area, shows its groups whole where the screen has room for
// them and scrolls only downwards where it has not. Each check prints the
// widths it measured. TW_SHOT_DIR names the folder for pictures of the
// screen, TW_SCREEN_DPI the display's DPI.

#include "tarnwick/cloud/vpnclient.h"
#include "tarnwick/core/devicedatas.h"
#include "tarnwick/core/discovery/loadlocaldevice.h"
#include "tarnwick/core/discovery/scanthread.h"
#include "tarnwick/ui/localdebugview.h"
#include "tarnwick/ui/localdevicemodel.h"
#include "tarnwick/ui/mainwindow/tests/cloudframetest.h"
#include "tarnwick/ui/mainwindow/tests/screenpictures.h"
#include "tarnwick/ui/settings/settingview.h"
#include "tarnwick/widgets/appfont.h"
#include "tarnwick/widgets/pannel.h"
#include "testing/fakelocalpanel/fakelocalpanel.h"
#include "testing/xsession/xdisplay.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QNetworkReply>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableView>
#include <QWindow>

#include <algorithm>
#include <cstdio>

namespace {

using TarnwickScreens::saveScreen;
using TarnwickScreens::screenDpi;

// Every visible column of table lies within its viewport, and the table
// scrolls neither way sideways.
void expectEveryColumnWithin(QTableView* table, const char* which)
{
    SCOPED_TRACE(which);
    QHeaderView* header = table->horizontalHeader();
    const int room = table->viewport()->width();
    QStringList widths;
    for (int section = 0; section < header->count(); ++section) {
        if (header->isSectionHidden(section))
            continue;
        const int left = header->sectionViewportPosition(section);
        const int size = header->sectionSize(section);
        const QString title = table->model()->headerData(section, Qt::Horizontal).toString();
        widths << QStringLiteral("%1 %2").arg(title).arg(size);
        EXPECT_GE(left, 0) << title.toStdString();
        EXPECT_LE(left + size, room) << title.toStdString() << " ends at " << left + size << " of " << room;
    }
    EXPECT_FALSE(table->horizontalScrollBar()->isVisible());
    EXPECT_EQ(table->horizontalScrollBar()->maximum(), 0);
    std::printf("%s at %d DPI: viewport %d, columns %s\n", which, screenDpi(), room, qPrintable(widths.join(", ")));
    std::fflush(stdout);
}

// The window, in its place once the window manager has settled it, lies
// centred within the work area.
void expectPlaced(QWidget& window)
{
    ASSERT_TRUE(waitUntil([&] { return window.isVisible() && window.windowHandle()->isExposed(); }, 30000));
    const TestX::XDisplay display = TestX::XDisplay::current();
    const auto framed = display.settledWindow(window.winId());
    ASSERT_TRUE(framed) << "never settled";
    EXPECT_TRUE(TestX::centredWithin(display.workArea(), *framed));
}

class PagesOnScreen : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        useTemporaryHome();
        AppFont::apply();
    }

    void TearDown() override
    {
        frame.reset();
        // The logout the window sends on its way out is answered while the
        // event loop runs, as at the program's own end.
        EXPECT_TRUE(waitUntil(
            [] {
                const auto replies = VPNClient::instance().findChildren<QNetworkReply*>();
                return std::none_of(replies.begin(), replies.end(),
                                    [](const QNetworkReply* reply) { return reply->isRunning(); });
            },
            10000));
        spin(20);
    }

    void showFrame()
    {
        frame = std::make_unique<MainFrame>();
        frame->show();
        ASSERT_NO_FATAL_FAILURE(expectPlaced(*frame));
    }

    std::unique_ptr<MainFrame> frame;
};

TEST_F(PagesOnScreen, CloudListShowsEveryColumnWithinTheTable)
{
    FakeCloud fake;
    ASSERT_TRUE(startAccountCloud(fake));
    const char* const aliases[] = {"\\u4e00\\u53f7\\u51b2\\u538b\\u7ebf", "press line 2", "\\u4ed3\\u5e93", "packing"};
    const char* const numbers[] = {"30300001", "30200002", "AAAA3003", "AAAA6004"};
    for (int i = 0; i < 4; ++i) {
        FakeCloudDevice device = cloudDevice(QString::fromLatin1(numbers[i]), QString::fromLatin1(aliases[i]),
                                             QStringLiteral("192.168.100.%1").arg(101 + i), i % 3 + 1);
        device.iccid = QStringLiteral("8986001234567890%1(4G)").arg(1000 + i);
        fake.addDevice(device);
    }
    ASSERT_NO_FATAL_FAILURE(showFrame());
    ASSERT_NO_FATAL_FAILURE(loginThroughForm(*frame, 4, 30000));
    spin(300);
    expectEveryColumnWithin(frame->devicePage()->table(), "cloud list");
    saveScreen(QStringLiteral("tarnwick_cloudlist"));
}

TEST_F(PagesOnScreen, LocalListShowsEveryColumnWithinTheTable)
{
    // Saved panels on this process's own loopback addresses, two that answer
    // and one that does not; no broadcast scan.
    FakeLocalPanel first{FakeLocalPanel::address(2), "HMI-3030-0001", "press"};
    FakeLocalPanel second{FakeLocalPanel::address(3), "HMI-3020-0002", "lathe"};
    auto saved = [](const char* number, const char* name, int host) {
        stDeviceData panel;
        panel.deviceNo = QString::fromLatin1(number);
        panel.deviceName = QString::fromUtf8(name);
        panel.ipAddress = QString::fromLatin1(FakeLocalPanel::address(host));
        return panel;
    };
    const QVector<stDeviceData> panels = {saved("HMI-3030-0001", "一号车间冲压线", 2),
                                          saved("HMI-3020-0002", "二号车床", 3), saved("HMI-3030-0009", "仓库", 9)};
    ASSERT_NO_FATAL_FAILURE(showFrame());
    LocalDeviceModel* model = frame->localPage()->deviceModel();
    model->setScanFactory([](QObject* parent, const QNetworkInterface&) {
        return new ScanThread(parent, QList<QNetworkAddressEntry>(), 0);
    });
    model->setSavedProbeFactory(
        [panels](QObject* parent) { return new LoadLocalDevice(panels, FakeLocalPanel::kServicePort, parent); });
    frame->onLocalDebugAction(QStringLiteral("lo"), QString());
    ASSERT_EQ(frame->currentPageIndex(), MainFrame::LocalPage);
    ASSERT_EQ(model->rowCount(), 3);
    spin(300);
    expectEveryColumnWithin(frame->localPage()->deviceTable(), "local list");
    saveScreen(QStringLiteral("tarnwick_locallist"));
    frame->localPage()->exitPage();
}

TEST_F(PagesOnScreen, SettingsBoxShowsItsGroupsWithinTheScreenScrollingOnlyDownwards)
{
    ASSERT_NO_FATAL_FAILURE(showFrame());
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    bool checked = false;
    BoxWatcher watcher(100, [&](MessageBox* box) {
        auto* view = box->findChild<SettingView*>();
        if (!view || checked)
            return;
        checked = true;
        // Once its layout and the window manager have placed it.
        spin(300);
        const auto framed = TestX::XDisplay::current().settledWindow(box->winId());
        EXPECT_TRUE(framed) << "never settled";
        if (framed) {
            EXPECT_TRUE(room.contains(framed->outer())) << framed->text().toStdString();
        }
        auto* scroll = view->findChild<QScrollArea*>();
        ASSERT_NE(scroll, nullptr);
        EXPECT_FALSE(scroll->horizontalScrollBar()->isVisible());
        const QList<Pannel*> groups = scroll->widget()->findChildren<Pannel*>();
        EXPECT_EQ(groups.size(), 3);
        int whole = 0;
        for (Pannel* group : groups) {
            const QRect shown(group->mapTo(scroll->viewport(), QPoint(0, 0)), group->size());
            whole += scroll->viewport()->rect().contains(shown) ? 1 : 0;
        }
        // Scrolling down only where the box could not grow any further.
        if (scroll->verticalScrollBar()->isVisible()) {
            EXPECT_EQ(box->height(), room.height());
        } else {
            EXPECT_EQ(whole, groups.size());
        }
        // These screens have room for every group.
        if (screenDpi() <= 144) {
            EXPECT_EQ(whole, groups.size());
        }
        std::printf("settings box at %d DPI: %dx%d, content %dx%d in a viewport of %dx%d, scroll bars%s%s, %d of %d "
                    "groups whole\n",
                    screenDpi(), box->width(), box->height(), scroll->widget()->width(), scroll->widget()->height(),
                    scroll->viewport()->width(), scroll->viewport()->height(),
                    scroll->horizontalScrollBar()->isVisible() ? " across" : "",
                    scroll->verticalScrollBar()->isVisible() ? " down" : "", whole, int(groups.size()));
        std::fflush(stdout);
        saveScreen(QStringLiteral("tarnwick_settings"));
        box->done(MessageBox::TitleClose);
    });
    frame->onSettingClicked(QString(), Tarnwick::MainWindow::ActionSetting);
    watcher.stop();
    EXPECT_TRUE(checked);
}

} // namespace
