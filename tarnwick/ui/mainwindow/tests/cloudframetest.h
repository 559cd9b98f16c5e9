#pragma once

// The fixture of the main window tests against the cloud fake: the fake with
// the tests' account, the configuration pointed at it, the window, and the
// steps that log in and pick a device row. The steps that need no fixture
// (the fake's start, its device records and VPN instructions, the login) are
// free functions, also used by the namespace test's PC side.

#include "tarnwick/core/globalconfig.h"
#include "tarnwick/ui/mainwindow/deviceview.h"
#include "tarnwick/ui/mainwindow/mainframe.h"
#include "tarnwick/ui/mainwindow/tests/mainwindowtesthelpers.h"
#include "tarnwick/ui/mainwindow/tests/testhome.h"
#include "tarnwick/ui/mainwindow/widgetlogin.h"
#include "tarnwick/widgets/pixmaplineedit.h"
#include "tarnwick/widgets/tableview.h"

#include <gtest/gtest.h>

#include <memory>

// Starts the fake with the tests' account and points the configuration at
// it; false when the fake cannot listen.
inline bool startAccountCloud(FakeCloud& fake)
{
    if (!fake.start())
        return false;
    fake.setServerPassword(kServerPassword);
    fake.addUser(kUser, kPassword);
    GlobalConfig* config = GlobalConfig::instance();
    config->setServer(QStringLiteral("127.0.0.1"));
    config->setServerPort(fake.port());
    config->setServerPswd(kServerPassword);
    return true;
}

// A device of the account as the fake lists it.
inline FakeCloudDevice cloudDevice(const QString& sn, const QString& alias, const QString& ip, int state)
{
    FakeCloudDevice d;
    d.sn = sn;
    d.alias = alias;
    d.ip = ip;
    d.state = state;
    return d;
}

// VPN instructions the fake received for sn: to connect (on) or to end.
inline int vpnInstructions(const FakeCloud& fake, const QString& sn, bool on)
{
    const QString value = on ? QStringLiteral("true") : QStringLiteral("false");
    int n = 0;
    for (const FakeCloudRequest& r : fake.requests())
        n += (r.path == QLatin1String("/user/device/instruct/vpn") && r.query(QStringLiteral("sn")) == sn
              && r.query(QStringLiteral("vpn")) == value)
                 ? 1
                 : 0;
    return n;
}

inline void typeCredentials(MainFrame& frame, const QString& user, const QString& pswd)
{
    QList<PixmapLineEdit*> edits = frame.loginPage()->findChildren<PixmapLineEdit*>();
    ASSERT_GE(edits.size(), 2);
    edits.at(0)->setText(user);
    edits.at(1)->setText(pswd);
}

// Logs in with the tests' account through the form; waits for rows devices
// in the table.
inline void loginThroughForm(MainFrame& frame, int rows, int timeoutMs)
{
    ASSERT_NO_FATAL_FAILURE(typeCredentials(frame, kUser, kPassword));
    frame.loginPage()->onRemoteDebugLogin();
    ASSERT_TRUE(waitUntil([&] { return frame.loginStateValue() == 2; }, timeoutMs));
    ASSERT_TRUE(waitUntil([&] { return frame.devicePage()->table()->rowCount() == rows; }, timeoutMs));
}

class CloudFrameTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { useTemporaryHome(); }

    // Logs in through the form; waits for the fake's three devices in the table.
    void login() { loginThroughForm(*frame, 3, 10000); }

    TableView* table() const { return frame->devicePage()->table(); }

    // The table row of a device number.
    int rowOf(const QString& sn) const
    {
        for (int row = 0; row < table()->rowCount(); ++row)
            if (frame->devicePage()->cellValue(row, DeviceView::keyColumn()).toString() == sn)
                return row;
        return -1;
    }

    void choose(const QString& sn)
    {
        const int row = rowOf(sn);
        ASSERT_GE(row, 0);
        frame->devicePage()->selectRow(row);
        ASSERT_EQ(frame->devicePage()->currentRow(), row);
    }

    FakeCloud fake;
    std::unique_ptr<MainFrame> frame;
};
