#include "platform/route/routecommand.h"

#include "platform/process/recordingcommandrunner.h"

#include <gtest/gtest.h>

namespace {

QStringList args(std::initializer_list<const char*> items)
{
    QStringList list;
    for (const char* s : items)
        list << QString::fromLatin1(s);
    return list;
}

TEST(RouteCommand, StrictIpv4AcceptsOnlyFourPlainNumbers)
{
    for (const char* ok : {"0.0.0.0", "255.255.255.255", "10.0.0.5", "192.168.1.25", "1.2.3.4"})
        EXPECT_TRUE(RouteCommand::isStrictIpv4(QString::fromLatin1(ok))) << ok;
    for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "01.2.3.4", "256.1.1.1", "1.2.3.4 ", " 1.2.3.4", "1.2.3.4\n",
                            "1.2.3.-4", "a.b.c.d", "1..2.3", "1.2.3.4/24", "-1.2.3.4", "1.2.3.4;id"})
        EXPECT_FALSE(RouteCommand::isStrictIpv4(QString::fromLatin1(bad))) << bad;
}

TEST(RouteCommand, Network24OfAnAddress)
{
    EXPECT_EQ(RouteCommand::network24(QStringLiteral("192.168.1.25")), QStringLiteral("192.168.1.0"));
    EXPECT_EQ(RouteCommand::network24(QStringLiteral("10.0.0.255")), QStringLiteral("10.0.0.0"));
    EXPECT_TRUE(RouteCommand::network24(QStringLiteral("192.168.1")).isEmpty());
}

TEST(RouteCommand, AddAndDeleteCarryTheSlash24AndTheSystemIp)
{
    RecordingCommandRunner runner;
    RouteCommand route(runner);
    EXPECT_TRUE(route.addNet24(QStringLiteral("192.168.1.0"), QStringLiteral("10.0.0.5")).succeeded());
    EXPECT_TRUE(route.deleteNet24(QStringLiteral("192.168.1.0"), QStringLiteral("10.0.0.5")).succeeded());
    ASSERT_EQ(runner.callCount(), 2);
    EXPECT_TRUE(runner.calls()[0].program.endsWith(QStringLiteral("/ip")));
    EXPECT_TRUE(runner.calls()[0].program.startsWith(QLatin1Char('/')));
    EXPECT_EQ(runner.calls()[0].arguments, args({"-4", "route", "add", "192.168.1.0/24", "via", "10.0.0.5"}));
    EXPECT_EQ(runner.calls()[1].arguments, args({"-4", "route", "del", "192.168.1.0/24", "via", "10.0.0.5"}));
}

TEST(RouteCommand, UnvalidatedTextNeverReachesTheCommand)
{
    RecordingCommandRunner runner;
    RouteCommand route(runner);
    EXPECT_FALSE(route.addNet24(QStringLiteral("192.168.1.0"), QStringLiteral("10.0.0.5 dev eth0")).started);
    EXPECT_FALSE(route.deleteNet24(QStringLiteral("-192.168.1.0"), QStringLiteral("10.0.0.5")).started);
    EXPECT_FALSE(
        route.deleteRoute({QStringLiteral("default"), QStringLiteral("10.8.0.1"), QStringLiteral("-x"), {}, {}})
            .started);
    EXPECT_FALSE(
        route.deleteRoute({QStringLiteral("1.2.3.0/33"), QStringLiteral("10.8.0.1"), QStringLiteral("tun0"), {}, {}})
            .started);
    EXPECT_EQ(runner.callCount(), 0);
}

TEST(RouteCommand, DeleteRouteNamesTheInterface)
{
    RecordingCommandRunner runner;
    RouteCommand route(runner);
    route.deleteRoute({QStringLiteral("10.77.0.0/24"), QStringLiteral("10.8.0.1"), QStringLiteral("tun0"), {}, {}});
    route.deleteRoute({QStringLiteral("10.8.0.0/24"), QString(), QStringLiteral("tun0"), {}, {}});
    ASSERT_EQ(runner.callCount(), 2);
    EXPECT_EQ(runner.calls()[0].arguments,
              args({"-4", "route", "del", "10.77.0.0/24", "via", "10.8.0.1", "dev", "tun0"}));
    EXPECT_EQ(runner.calls()[1].arguments, args({"-4", "route", "del", "10.8.0.0/24", "dev", "tun0"}));
}

TEST(RouteCommand, TableIsReadFromTheJsonForm)
{
    RecordingCommandRunner runner;
    runner.queueResult(RecordingCommandRunner::exitResult(
        0, R"([{"dst":"default","gateway":"192.0.2.1","dev":"eth0","flags":[]},)"
           R"({"dst":"10.8.0.0/24","dev":"tun0","protocol":"kernel","scope":"link","prefsrc":"10.8.0.2","flags":[]},)"
           R"({"dst":"10.77.0.0/24","gateway":"10.8.0.1","dev":"tun0","flags":[]},)"
           R"({"dst":"1.2.3.4; reboot","gateway":"10.8.0.1","dev":"tun0"},)"
           R"({"dst":"10.9.0.0/24","gateway":"10.8.0.1","dev":"tun0 x"}])"));
    RouteCommand route(runner);
    bool ok = false;
    const QVector<RouteEntry> table = route.table(&ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(runner.callCount(), 1);
    EXPECT_EQ(runner.calls()[0].arguments, args({"-4", "-j", "route", "show"}));
    ASSERT_EQ(table.size(), 3);
    EXPECT_EQ(table[0].dst, QStringLiteral("default"));
    EXPECT_EQ(table[0].gateway, QStringLiteral("192.0.2.1"));
    EXPECT_EQ(table[1].gateway, QString());
    EXPECT_EQ(table[1].protocol, QStringLiteral("kernel"));
    EXPECT_EQ(table[2].dev, QStringLiteral("tun0"));
}

TEST(RouteCommand, UnreadableTableIsReportedNotEmpty)
{
    RecordingCommandRunner runner;
    RouteCommand route(runner);
    bool ok = true;
    runner.queueResult(RecordingCommandRunner::exitResult(0, "not json"));
    EXPECT_TRUE(route.table(&ok).isEmpty());
    EXPECT_FALSE(ok);
    ok = true;
    runner.queueResult(RecordingCommandRunner::exitResult(2, "[]"));
    route.table(&ok);
    EXPECT_FALSE(ok);
}

} // namespace
