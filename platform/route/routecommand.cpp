#include "platform/route/routecommand.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>

namespace {

const QString& ipv4Pattern()
{
    static const QString pattern = QStringLiteral("((25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])[.]){3}"
                                                  "(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9][0-9]|[0-9])");
    return pattern;
}

} // namespace

RouteCommand::RouteCommand(CommandRunner& runner)
    : m_runner(runner)
{
}

QString RouteCommand::ipProgram()
{
    for (const char* path : {"/usr/sbin/ip", "/sbin/ip", "/usr/bin/ip", "/bin/ip"}) {
        const QFileInfo info(QString::fromLatin1(path));
        if (info.isFile() && info.isExecutable())
            return info.filePath();
    }
    return QStringLiteral("/usr/sbin/ip");
}

bool RouteCommand::isStrictIpv4(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("\\A(?:") + ipv4Pattern() + QStringLiteral(")\\z"));
    return re.match(text).hasMatch();
}

QString RouteCommand::network24(const QString& address)
{
    if (!isStrictIpv4(address))
        return QString();
    const QStringList parts = address.split(QLatin1Char('.'));
    return parts[0] + QLatin1Char('.') + parts[1] + QLatin1Char('.') + parts[2] + QStringLiteral(".0");
}

bool RouteCommand::isRouteDestination(const QString& text)
{
    if (text == QLatin1String("default"))
        return true;
    const int slash = text.indexOf(QLatin1Char('/'));
    if (slash < 0)
        return isStrictIpv4(text);
    static const QRegularExpression len(QStringLiteral("\\A(?:[0-9]|[12][0-9]|3[0-2])\\z"));
    return isStrictIpv4(text.left(slash)) && len.match(text.mid(slash + 1)).hasMatch();
}

bool RouteCommand::isInterfaceName(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("\\A[A-Za-z0-9_.:@][A-Za-z0-9_.:@-]{0,14}\\z"));
    return re.match(text).hasMatch();
}

CommandResult RouteCommand::refused() const
{
    return CommandResult();
}

CommandResult RouteCommand::addNet24(const QString& network, const QString& gateway, int timeoutMs)
{
    if (!isStrictIpv4(network) || !isStrictIpv4(gateway))
        return refused();
    return m_runner.run(ipProgram(),
                        {QStringLiteral("-4"), QStringLiteral("route"), QStringLiteral("add"),
                         network + QStringLiteral("/24"), QStringLiteral("via"), gateway},
                        timeoutMs);
}

CommandResult RouteCommand::deleteNet24(const QString& network, const QString& gateway, int timeoutMs)
{
    if (!isStrictIpv4(network) || !isStrictIpv4(gateway))
        return refused();
    return m_runner.run(ipProgram(),
                        {QStringLiteral("-4"), QStringLiteral("route"), QStringLiteral("del"),
                         network + QStringLiteral("/24"), QStringLiteral("via"), gateway},
                        timeoutMs);
}

CommandResult RouteCommand::deleteRoute(const RouteEntry& route, int timeoutMs)
{
    if (!isRouteDestination(route.dst) || !isInterfaceName(route.dev)
        || (!route.gateway.isEmpty() && !isStrictIpv4(route.gateway)))
        return refused();
    QStringList args{QStringLiteral("-4"), QStringLiteral("route"), QStringLiteral("del"), route.dst};
    if (!route.gateway.isEmpty())
        args << QStringLiteral("via") << route.gateway;
    args << QStringLiteral("dev") << route.dev;
    return m_runner.run(ipProgram(), args, timeoutMs);
}

QVector<RouteEntry> RouteCommand::table(bool* ok, int timeoutMs)
{
    const CommandResult r = m_runner.run(
        ipProgram(), {QStringLiteral("-4"), QStringLiteral("-j"), QStringLiteral("route"), QStringLiteral("show")},
        timeoutMs);
    if (!r.succeeded()) {
        if (ok)
            *ok = false;
        return {};
    }
    return parseTable(r.output, ok);
}

QVector<RouteEntry> RouteCommand::parseTable(const QByteArray& json, bool* ok)
{
    QVector<RouteEntry> routes;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) {
        if (ok)
            *ok = false;
        return routes;
    }
    for (const QJsonValue& v : doc.array()) {
        if (!v.isObject())
            continue;
        const QJsonObject o = v.toObject();
        RouteEntry e;
        e.dst = o.value(QStringLiteral("dst")).toString();
        e.gateway = o.value(QStringLiteral("gateway")).toString();
        e.dev = o.value(QStringLiteral("dev")).toString();
        e.protocol = o.value(QStringLiteral("protocol")).toString();
        e.scope = o.value(QStringLiteral("scope")).toString();
        if (!isRouteDestination(e.dst) || (!e.dev.isEmpty() && !isInterfaceName(e.dev))
            || (!e.gateway.isEmpty() && !isStrictIpv4(e.gateway)))
            continue;
        routes.append(e);
    }
    if (ok)
        *ok = true;
    return routes;
}
