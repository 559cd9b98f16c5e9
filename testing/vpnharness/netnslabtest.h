#pragma once

// The fixture of the namespace tests. In the outer role it skips with the
// reason where the machine cannot run the lab, notes the machine's routes,
// builds the lab and a work folder and starts the test's peers; runInner()
// runs the test again inside the PC namespace (the work folder's path reaches
// it as innerValue("DIR")); at the end it stops the test's peers, removes the
// lab and checks that the machine's routes are what they were. In the inner
// role it does nothing.

#include "testing/vpnharness/netnslab.h"

#include "platform/process/win32process.h"

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>

class NetnsLabTest : public ::testing::Test {
public:
    // The work folder as the inner role sees it.
    static QString innerDir();

protected:
    static constexpr int kInnerTimeoutMs = 120000;

    void SetUp() override;
    void TearDown() override;

    // Starts what the outer role needs for the test, once the lab stands (not
    // when the test is skipped or the lab could not be built).
    virtual void startPeers() {}
    // Stops what the outer role started for the test, before the lab goes.
    virtual void stopPeers() {}
    // Extra text shown when the inner run fails (a server's log).
    virtual QString diagnostics() const { return QString(); }

    void runInner();

    // The panel's side of the lab: a network behind the panel (lan0 holding
    // lanAddress/24) and the panel program, with its bridge methods on the
    // panel's address and an echo listener at lanAddress:echoPort. Stopped at
    // the end of the test, after stopPeers().
    void startPanelSide(const QString& lanAddress, quint16 echoPort);

    // Sends a line to an echo listener; its answer, or empty when the
    // address cannot be reached.
    static QByteArray echo(const QString& address, quint16 port, const QByteArray& line);

    QTemporaryDir m_dir;
    NetnsLab m_lab;
    Win32Process m_panel;

private:
    QString m_routesBefore;
};
