#include "testing/vpnharness/netnslabtest.h"

#include <iostream>

void NetnsLabTest::SetUp()
{
    if (NetnsLab::isInner())
        return;
    const QString reason = NetnsLab::unavailableReason();
    if (!reason.isEmpty())
        GTEST_SKIP() << "namespace test skipped: " << reason.toStdString();
    m_routesBefore = NetnsLab::machineRoutes();
    ASSERT_TRUE(m_dir.isValid());
    QString error;
    ASSERT_TRUE(m_lab.create(&error)) << error.toStdString();
}

void NetnsLabTest::TearDown()
{
    if (NetnsLab::isInner() || m_routesBefore.isEmpty())
        return;
    stopPeers();
    m_lab.destroy();
    EXPECT_EQ(NetnsLab::machineRoutes(), m_routesBefore);
}

void NetnsLabTest::runInner()
{
    const CommandResult r = m_lab.rerunCurrentTestInside(m_lab.pc(), {{QStringLiteral("DIR"), m_dir.path()}},
                                                         kInnerTimeoutMs);
    const std::string output = QString::fromLocal8Bit(r.output).toStdString();
    std::cout << "--- inside " << m_lab.pc().toStdString() << " ---\n" << output << "--- end ---" << std::endl;
    EXPECT_TRUE(r.succeeded()) << output << diagnostics().toStdString();
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

QString NetnsLabTest::innerDir()
{
    return NetnsLab::innerValue(QStringLiteral("DIR"));
}
