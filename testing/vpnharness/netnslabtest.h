#pragma once

// The fixture of the namespace tests. In the outer role it skips with the
// reason where the machine cannot run the lab, notes the machine's routes,
// builds the lab and a work folder; runInner() runs the test again inside the
// PC namespace (the work folder's path reaches it as innerValue("DIR")); at
// the end it stops the test's peers, removes the lab and checks that the
// machine's routes are what they were. In the inner role it does nothing.

#include "testing/vpnharness/netnslab.h"

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>

class NetnsLabTest : public ::testing::Test
{
public:
    // The work folder as the inner role sees it.
    static QString innerDir();

protected:
    static constexpr int kInnerTimeoutMs = 120000;

    void SetUp() override;
    void TearDown() override;

    // Stops what the outer role started for the test, before the lab goes.
    virtual void stopPeers() {}
    // Extra text shown when the inner run fails (a server's log).
    virtual QString diagnostics() const { return QString(); }

    void runInner();

    QTemporaryDir m_dir;
    NetnsLab m_lab;

private:
    QString m_routesBefore;
};
