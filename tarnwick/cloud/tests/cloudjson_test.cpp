#include "tarnwick/cloud/cloudjson.h"

#include "tarnwick/cloud/cloudlogmask.h"
#include "tarnwick/cloud/cloudrecords.h"
#include "tarnwick/cloud/tests/cloudtesthelpers.h"
#include "tarnwick/cloud/vpnconnmsg.h"

#include <gtest/gtest.h>

#include <QObject>

namespace {

QByteArray nested(int depth)
{
    // The outer object is one level; the rest are arrays.
    return "{\"a\":" + QByteArray(depth - 1, '[') + QByteArray(depth - 1, ']') + "}";
}

CloudJson::Json parsed(const QByteArray& body)
{
    CloudJson::Json object;
    EXPECT_TRUE(CloudJson::parseObject(body, object)) << body.constData();
    return object;
}

} // namespace

TEST(CloudJson, FiftyLevelsAreReadAndFiftyOneRefused)
{
    CloudJson::Json object;
    EXPECT_TRUE(CloudJson::parseObject(nested(50), object));
    EXPECT_FALSE(CloudJson::parseObject(nested(51), object));
    // Far deeper input is refused without building anything.
    EXPECT_FALSE(CloudJson::parseObject(nested(200000), object));
}

TEST(CloudJson, BracketsInsideStringsDoNotCountAsNesting)
{
    const QByteArray body = "{\"a\":\"" + QByteArray(100, '[') + "\\\"" + QByteArray(100, '{') + "\"}";
    CloudJson::Json object;
    ASSERT_TRUE(CloudJson::parseObject(body, object));
    EXPECT_EQ(CloudJson::readText(object, "a").size(), 201);
}

TEST(CloudJson, OnlyObjectsAreAccepted)
{
    CloudJson::Json object;
    for (const QByteArray& body : {QByteArray(), QByteArray("[]"), QByteArray("1"), QByteArray("\"x\""),
                                   QByteArray("{"), QByteArray("{\"a\":1} x"), QByteArray("<html>")})
        EXPECT_FALSE(CloudJson::parseObject(body, object)) << body.constData();
    EXPECT_TRUE(CloudJson::parseObject(" {\"a\":1}\r\n", object));
}

TEST(CloudJson, NumbersReadAsBooleans)
{
    const auto object = parsed(R"({"t":true,"f":false,"one":1,"zero":0,"neg":-2,"half":0.5,"zf":0.0,
                                   "text":"true","null":null,"arr":[1]})");
    EXPECT_TRUE(CloudJson::readBool(object, "t"));
    EXPECT_FALSE(CloudJson::readBool(object, "f"));
    EXPECT_TRUE(CloudJson::readBool(object, "one"));
    EXPECT_FALSE(CloudJson::readBool(object, "zero"));
    EXPECT_TRUE(CloudJson::readBool(object, "neg"));
    EXPECT_TRUE(CloudJson::readBool(object, "half"));
    EXPECT_FALSE(CloudJson::readBool(object, "zf"));
    EXPECT_FALSE(CloudJson::readBool(object, "text"));
    EXPECT_FALSE(CloudJson::readBool(object, "null"));
    EXPECT_FALSE(CloudJson::readBool(object, "arr"));
    EXPECT_FALSE(CloudJson::readBool(object, "absent"));
}

TEST(CloudJson, IntegersAndTexts)
{
    const auto object = parsed(R"({"i":7,"n":-3,"f":7.9,"b":true,"s":"5","big":99999999999,"small":-99999999999,
                                   "text":"中文","num":1194,"obj":{},"null":null})");
    EXPECT_EQ(CloudJson::readInt(object, "i"), 7);
    EXPECT_EQ(CloudJson::readInt(object, "n"), -3);
    EXPECT_EQ(CloudJson::readInt(object, "f"), 7);
    EXPECT_EQ(CloudJson::readInt(object, "b"), 1);
    EXPECT_EQ(CloudJson::readInt(object, "s"), 0);
    EXPECT_EQ(CloudJson::readInt(object, "big"), 2147483647);
    EXPECT_EQ(CloudJson::readInt(object, "small"), -2147483647 - 1);
    EXPECT_EQ(CloudJson::readInt(object, "absent"), 0);
    EXPECT_EQ(CloudJson::readText(object, "text"), QString::fromUtf8("中文"));
    EXPECT_EQ(CloudJson::readText(object, "num"), QStringLiteral("1194"));
    EXPECT_TRUE(CloudJson::readText(object, "obj").isEmpty());
    EXPECT_TRUE(CloudJson::readText(object, "null").isEmpty());
    EXPECT_TRUE(CloudJson::readText(object, "absent").isEmpty());
    EXPECT_TRUE(CloudJson::has(object, "null"));
    EXPECT_FALSE(CloudJson::has(object, "absent"));
}

TEST(CloudLogMask, UrlsAndBodiesLoseTheirSecretsOnly)
{
    const QUrl url(QStringLiteral("http://127.0.0.1:80/user/device/status?token=T0K&sn=SN1&devicePassword=ABCDEF"));
    EXPECT_EQ(CloudLogMask::url(url),
              QStringLiteral("http://127.0.0.1:80/user/device/status?token=***&sn=SN1&devicePassword=***"));
    EXPECT_EQ(CloudLogMask::pathWithQuery(
                  QStringLiteral("/user/login?domain=vexa&adminPassword=AA&devicePassword=BB&ver=2.0.1")),
              QStringLiteral("/user/login?domain=vexa&adminPassword=***&devicePassword=***&ver=2.0.1"));

    const QByteArray plain = R"({"succeed":true,"info":"ok","error":0})";
    EXPECT_EQ(CloudLogMask::body(plain), QString::fromUtf8(plain));
    const QString masked = CloudLogMask::body(
        R"({"succeed":true,"token":"T0K","ca-text":"key material","ca-name":"a.ovpn","openvpn-password":"pw1"})");
    EXPECT_FALSE(masked.contains(QLatin1String("T0K")));
    EXPECT_FALSE(masked.contains(QLatin1String("key material")));
    EXPECT_FALSE(masked.contains(QLatin1String("pw1")));
    EXPECT_TRUE(masked.contains(QLatin1String("a.ovpn")));
    // A body cut off in the middle of a secret still hides it.
    const QString cut = CloudLogMask::body(R"({"succeed":true,"token":"T0K","ca-text":"key mat)");
    EXPECT_FALSE(cut.contains(QLatin1String("T0K")));
    EXPECT_FALSE(cut.contains(QLatin1String("key mat")));
}

TEST(CloudRecords, TravelThroughQueuedSignals)
{
    VPNConnMsg sequence;
    QObject receiver;
    stVpnClientData received;
    int calls = 0;
    QObject::connect(
        &sequence, &VPNConnMsg::Complete, &receiver,
        [&](bool, stVpnClientData data, QString) {
            received = data;
            ++calls;
        },
        Qt::QueuedConnection);
    stVpnClientData session;
    session.bLogin = false;
    session.strToken = QStringLiteral("queued-token");
    session.box.iccidNote = QStringLiteral("note");
    sequence.Start(session, QStringLiteral("SN"), QStringLiteral("key"));
    ASSERT_TRUE(waitUntil([&] { return calls == 1; }, 2000));
    EXPECT_EQ(received.strToken, QStringLiteral("queued-token"));
    EXPECT_EQ(received.box.iccidNote, QStringLiteral("note"));
    EXPECT_NE(QMetaType::type("QVector<stBoxData>"), 0);
    EXPECT_NE(QMetaType::type("stLoginData"), 0);
}
