#pragma once

// The fixture of the main window tests against the cloud fake: the fake with
// the tests' account, the configuration pointed at it, the window, and the
// steps that log in and pick a device row.

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

class CloudFrameTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { useTemporaryHome(); }

    // Starts the fake with the tests' account and points the configuration
    // at it; false when the fake cannot listen.
    bool startCloud()
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
    static FakeCloudDevice cloudDevice(const QString& sn, const QString& alias, const QString& ip, int state)
    {
        FakeCloudDevice d;
        d.sn = sn;
        d.alias = alias;
        d.ip = ip;
        d.state = state;
        return d;
    }

    void typeCredentials(const QString& user, const QString& pswd)
    {
        QList<PixmapLineEdit*> edits = frame->loginPage()->findChildren<PixmapLineEdit*>();
        edits.at(0)->setText(user);
        edits.at(1)->setText(pswd);
    }

    // Logs in through the form; waits for the fake's three devices in the table.
    void login()
    {
        typeCredentials(kUser, kPassword);
        frame->loginPage()->onRemoteDebugLogin();
        ASSERT_TRUE(waitUntil([&] { return frame->loginStateValue() == 2; }, 10000));
        ASSERT_TRUE(waitUntil([&] { return table()->rowCount() == 3; }, 10000));
    }

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
