#include "tarnwick/cloud/vpnhttpprotocol.h"

#include "tarnwick/cloud/tests/cloudtesthelpers.h"

#include <gtest/gtest.h>

#include <QUrl>

namespace {

const QUrl kLoginUrl(QStringLiteral("http://127.0.0.1:1/user/login?domain=vexa"));
const QUrl kBeatsUrl(QStringLiteral("http://127.0.0.1:1/user/beats?token=tok%26one"));
const QUrl kListUrl(QStringLiteral("http://127.0.0.1:1/user/device/list?token=t"));
const QUrl kStatusUrl(QStringLiteral("http://127.0.0.1:1/user/device/status?token=t&sn=SN%2B7&devicePassword=AB"));

QUrl vpnUrl(const char* vpn)
{
    return QUrl(QStringLiteral("http://127.0.0.1:1/user/device/instruct/vpn?token=t&sn=SN9&devicePassword=AB&vpn=")
                + QLatin1String(vpn));
}

const char* const kLoginFull =
    R"({"succeed":true,"info":"","error":0,"auth":3,"token":"T1","ca-name":"c.ovpn","ca-text":"txt","ver":"2.1","permission":5})";

} // namespace

TEST(VPNHttpProtocol, Md5HexIsUpperCaseOfTheUtf8Bytes)
{
    EXPECT_EQ(VPNHttpProtocol::md5Hex(QString()), QStringLiteral("D41D8CD98F00B204E9800998ECF8427E"));
    EXPECT_EQ(VPNHttpProtocol::md5Hex(QStringLiteral("abc")), QStringLiteral("900150983CD24FB0D6963F7D28E17F72"));
    EXPECT_EQ(VPNHttpProtocol::md5Hex(QStringLiteral("The quick brown fox jumps over the lazy dog")),
              QStringLiteral("9E107D9D372BB6826BD81D3542A419D6"));
}

TEST(VPNHttpProtocol, QueryValuesAreEncodedOnlyWhereNeeded)
{
    EXPECT_EQ(VPNHttpProtocol::encodeQueryValue(QStringLiteral("Az09._~-")), QStringLiteral("Az09._~-"));
    EXPECT_EQ(VPNHttpProtocol::encodeQueryValue(QStringLiteral("a&b#c%d=e+f g")),
              QStringLiteral("a%26b%23c%25d%3De%2Bf%20g"));
    EXPECT_EQ(VPNHttpProtocol::encodeQueryValue(u8("中")), QStringLiteral("%E4%B8%AD"));
}

TEST(VPNHttpProtocolParse, LoginReplies)
{
    struct Row {
        const char* body;
        bool ok;
        const char* msg;
    };
    const Row rows[] = {
        {"", false, "网络异常, 请检查重试!"},
        {"<html>busy</html>", false, "网络异常, 请检查重试!"},
        {"[1,2]", false, "网络异常, 请检查重试!"},
        {R"({"succeed":false,"error":1})", false, "网络异常, 请检查重试!"}, // no "info"
        {R"({"succeed":false,"info":"","error":1})", false, "用户名或密码无效"},
        {R"({"succeed":false,"info":"","error":2})", false, "用户已登录"},
        {R"({"succeed":false,"info":"","error":4})", false, "网络异常, 请检查重试!"},
        {R"({"succeed":false,"info":"","error":7})", false, "服务器密码无效！"},
        {R"({"succeed":false,"info":"","error":11})", false, "用户名密码过长"},
        {R"({"succeed":false,"info":"","error":-1})", false, "网络异常, 请检查重试!"},
        {R"({"succeed":false,"info":"","error":0})", false, "登录成功"},
        {R"({"succeed":true,"info":"","error":0,"token":"T","ca-text":"x","ca-name":"n","ver":"v"})", false,
         "服务器版本与当前客户端不兼容"},
        {R"({"succeed":true,"info":"","error":0,"permission":1,"ca-text":"x","ca-name":"n","ver":"v"})", false,
         "服务器版本与当前客户端不兼容"},
        {kLoginFull, true, "登录成功"},
        {R"({"succeed":1,"info":"","error":0,"token":"T","ca-text":"x","ca-name":"n","ver":"v","permission":1})", true,
         "登录成功"},
        {R"({"succeed":true,"info":"","error":3,"token":"T","ca-text":"x","ca-name":"n","ver":"v","permission":1})",
         true, "网络异常, 请检查重试!"},
    };
    for (const Row& row : rows) {
        stLoginResult result;
        QString msg;
        EXPECT_EQ(VPNHttpProtocol::parseLoginBody(kLoginUrl, row.body, result, msg), row.ok) << row.body;
        EXPECT_EQ(msg, u8(row.msg)) << row.body;
    }

    stLoginResult result;
    QString msg;
    ASSERT_TRUE(VPNHttpProtocol::parseLoginBody(kLoginUrl, kLoginFull, result, msg));
    EXPECT_EQ(result.auth, 3);
    EXPECT_EQ(result.permission, 5);
    EXPECT_EQ(result.token, QStringLiteral("T1"));
    EXPECT_EQ(result.caName, QStringLiteral("c.ovpn"));
    EXPECT_EQ(result.caText, QStringLiteral("txt"));
    EXPECT_EQ(result.ver, QStringLiteral("2.1"));

    // "auth" is optional: 0 when absent.
    ASSERT_TRUE(VPNHttpProtocol::parseLoginBody(
        kLoginUrl,
        R"({"succeed":true,"info":"","error":0,"token":"T","ca-text":"x","ca-name":"n","ver":"v","permission":1})",
        result, msg));
    EXPECT_EQ(result.auth, 0);
}

TEST(VPNHttpProtocolParse, LogoutReplies)
{
    struct Row {
        const char* body;
        bool ok;
        const char* msg;
    };
    const Row rows[] = {
        {"", false, "注销失败，未知错误"},
        {R"({"succeed":true,"info":""})", false, "注销失败，未知错误"},
        {R"({"succeed":true,"info":"","error":0})", true, "注销成功"},
        {R"({"succeed":false,"info":"","error":1})", true, "注销成功"},
        {R"({"succeed":false,"info":"","error":2})", false, "注销失败，未知错误"},
        {R"({"succeed":0,"info":"","error":0})", false, "注销失败，未知错误"},
    };
    for (const Row& row : rows) {
        QString msg;
        EXPECT_EQ(VPNHttpProtocol::parseLogoutBody(kLoginUrl, row.body, msg), row.ok) << row.body;
        EXPECT_EQ(msg, u8(row.msg)) << row.body;
    }
}

TEST(VPNHttpProtocolParse, HeartbeatReplies)
{
    struct Row {
        const char* body;
        bool ok;
        bool dropped;
        const char* msg;
    };
    const Row rows[] = {
        {"", false, false, "untouched"},
        {"garbage", false, false, "untouched"},
        {R"({"succeed":true,"error":0})", false, false, "untouched"},
        {R"({"succeed":true,"info":"","error":0})", true, false, "untouched"},
        {R"({"succeed":false,"info":"","error":0})", true, false, "untouched"},
        {R"({"succeed":false,"info":"","error":5})", true, false, "untouched"},
        {R"({"succeed":false,"info":"","error":1})", true, true, "连接超时"},
    };
    for (const Row& row : rows) {
        QString token;
        bool dropped = true;
        QString msg = QStringLiteral("untouched");
        EXPECT_EQ(VPNHttpProtocol::parseHeartbeatBody(kBeatsUrl, row.body, token, dropped, msg), row.ok) << row.body;
        EXPECT_EQ(dropped, row.dropped) << row.body;
        EXPECT_EQ(msg, u8(row.msg)) << row.body;
        // The token comes from the request's own query, decoded.
        EXPECT_EQ(token, QStringLiteral("tok&one"));
    }
}

TEST(VPNHttpProtocolParse, DeviceListReplies)
{
    struct Row {
        const char* body;
        bool ok;
        bool dropped;
        const char* msg;
        int count;
    };
    const Row rows[] = {
        {"", false, false, "拉取设备列表状态相关信息失败，未知错误", 0},
        {R"({"succeed":true,"info":"","error":0})", false, false, "拉取设备列表状态相关信息成功", 0},
        {R"({"succeed":false,"info":"","error":1,"devices":[]})", false, true, "拉取设备列表状态相关信息失败，连接超时",
         0},
        {R"({"succeed":false,"info":"","error":9,"devices":[]})", false, false,
         "拉取设备列表状态相关信息失败，未知错误", 0},
        {R"({"succeed":true,"info":"","error":0,"devices":{}})", true, false, "拉取设备列表状态相关信息成功", 0},
        {R"json({"succeed":true,"info":"","error":0,"devices":[
            {"sn":"A","alias":"a","online":1,"vpn":0,"remark":"r","ip":"1.2.3.4","serverIP":"5.6.7.8","state":2,"iccid":"8986(chinamobile)"},
            {"sn":"B","alias":"b","online":true,"vpn":true,"ip":"","serverIP":""},
            7,
            {"sn":"C","alias":"c","online":false,"vpn":true,"remark":"","ip":"","serverIP":""}]})json",
         true, false, "拉取设备列表状态相关信息成功", 2},
    };
    for (const Row& row : rows) {
        QVector<stBoxData> boxes(3);
        bool dropped = !row.dropped;
        QString msg;
        EXPECT_EQ(VPNHttpProtocol::parseDeviceListBody(kListUrl, row.body, boxes, dropped, msg), row.ok) << row.body;
        EXPECT_EQ(dropped, row.dropped) << row.body;
        EXPECT_EQ(msg, u8(row.msg)) << row.body;
        EXPECT_EQ(boxes.size(), row.count) << row.body;
    }

    QVector<stBoxData> boxes;
    bool dropped = false;
    QString msg;
    ASSERT_TRUE(VPNHttpProtocol::parseDeviceListBody(kListUrl, rows[5].body, boxes, dropped, msg));
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[0].sn, QStringLiteral("A"));
    EXPECT_EQ(boxes[0].alias, QStringLiteral("a"));
    EXPECT_TRUE(boxes[0].online);
    EXPECT_FALSE(boxes[0].vpn);
    EXPECT_EQ(boxes[0].remark, QStringLiteral("r"));
    EXPECT_EQ(boxes[0].ip, QStringLiteral("1.2.3.4"));
    EXPECT_EQ(boxes[0].serverIP, QStringLiteral("5.6.7.8"));
    EXPECT_EQ(boxes[0].state, 2);
    EXPECT_EQ(boxes[0].iccid, QStringLiteral("8986"));
    EXPECT_EQ(boxes[0].iccidNote, QStringLiteral("chinamobile"));
    EXPECT_EQ(boxes[1].sn, QStringLiteral("C"));
    EXPECT_EQ(boxes[1].state, 0);
    EXPECT_FALSE(boxes[1].online);
    EXPECT_TRUE(boxes[1].vpn);
}

TEST(VPNHttpProtocolParse, IccidNoteIsSplitOnlyWhenClosedAtTheEnd)
{
    struct Row {
        const char* iccid;
        const char* number;
        const char* note;
    };
    const Row rows[] = {
        {"8986(note)", "8986", "note"}, {"8986()", "8986", ""}, {"8986(note", "8986(note", ""}, {"8986(", "8986(", ""},
        {"8986(a)b", "8986(a)b", ""},   {"(x)", "", "x"},       {"89(a)(b)", "89", "a)(b"},     {"", "", ""},
    };
    for (const Row& row : rows) {
        const QByteArray body =
            QByteArray(
                R"json({"succeed":true,"info":"","error":0,"devices":[{"sn":"A","alias":"a","online":1,"vpn":0,)json")
            + R"json("remark":"","ip":"","serverIP":"","iccid":")json" + row.iccid + "\"}]}";
        QVector<stBoxData> boxes;
        bool dropped = false;
        QString msg;
        ASSERT_TRUE(VPNHttpProtocol::parseDeviceListBody(kListUrl, body, boxes, dropped, msg)) << row.iccid;
        ASSERT_EQ(boxes.size(), 1);
        EXPECT_EQ(boxes[0].iccid, QString::fromUtf8(row.number)) << row.iccid;
        EXPECT_EQ(boxes[0].iccidNote, QString::fromUtf8(row.note)) << row.iccid;
    }
}

TEST(VPNHttpProtocolParse, DeviceStatusReplies)
{
    struct Row {
        const char* body;
        bool ok;
        bool dropped;
        const char* msg;
    };
    const char* const full =
        R"({"succeed":true,"info":"","error":0,"vpn":1,"bind":"b1","ip":"10.0.0.2","serverIP":"9.9.9.9","serverPort":1194})";
    const Row rows[] = {
        {"", false, false, "拉取设备状态信息失败，未知错误"},
        {full, true, false, "拉取设备状态信息成功"},
        {R"({"succeed":false,"info":"","error":1})", false, true, "拉取设备状态信息失败，连接超时"},
        {R"({"succeed":false,"info":"","error":2})", false, false, "拉取设备状态信息失败，用户无权限"},
        {R"({"succeed":false,"info":"","error":3})", false, false, "拉取设备状态信息失败，设备不存在"},
        {R"({"succeed":false,"info":"","error":4})", false, false, "拉取设备状态信息失败，未知错误"},
        {R"({"succeed":true,"info":"","error":0,"vpn":1,"ip":"","serverIP":"","serverPort":1})", false, false,
         "拉取设备状态信息成功"},
    };
    for (const Row& row : rows) {
        stBoxData box;
        box.vpn = true;
        box.sn = QStringLiteral("stale");
        bool dropped = !row.dropped;
        QString msg;
        EXPECT_EQ(VPNHttpProtocol::parseDeviceStatusBody(kStatusUrl, row.body, box, dropped, msg), row.ok) << row.body;
        EXPECT_EQ(dropped, row.dropped) << row.body;
        EXPECT_EQ(msg, u8(row.msg)) << row.body;
        EXPECT_EQ(box.sn, QStringLiteral("SN+7")) << row.body;
        if (!row.ok) {
            EXPECT_FALSE(box.vpn) << row.body;
        }
    }
    stBoxData box;
    bool dropped = false;
    QString msg;
    ASSERT_TRUE(VPNHttpProtocol::parseDeviceStatusBody(kStatusUrl, full, box, dropped, msg));
    EXPECT_TRUE(box.vpn);
    EXPECT_EQ(box.bind, QStringLiteral("b1"));
    EXPECT_EQ(box.ip, QStringLiteral("10.0.0.2"));
    EXPECT_EQ(box.serverIP, QStringLiteral("9.9.9.9"));
    EXPECT_EQ(box.serverPort, 1194);
}

TEST(VPNHttpProtocolParse, VpnInstructionRepliesNameTheirOperation)
{
    struct Row {
        int code;
        const char* on;
        const char* off;
    };
    const Row rows[] = {
        {0, "设置组网成功", "设置组网成功"},
        {1, "设备组网失败，连接超时", "设备解除组网失败，连接超时"},
        {2, "设备组网失败，用户无权限", "设备解除组网失败，用户无权限"},
        {3, "设备组网失败，设备不存在", "设备解除组网失败，设备不存在"},
        {4, "设备组网失败，设备已占用", "设备解除组网失败，设备已占用"},
        {5, "设备组网失败，设备不在线", "设备解除组网失败，设备不在线"},
        {6, "设备组网失败，未知错误", "设备解除组网失败，未知错误"},
        {8, "设备组网失败，未知错误", "设备解除组网失败，未知错误"},
        {9, "设备组网失败，未知错误", "设备解除组网失败，未知错误"},
        {10, "设备组网失败，过多用户在使用设备", "设备解除组网失败，过多用户在使用设备"},
        {-4, "设备组网失败，未知错误", "设备解除组网失败，未知错误"},
    };
    for (const Row& row : rows) {
        const QByteArray body = R"({"succeed":false,"info":"","error":)" + QByteArray::number(row.code) + "}";
        for (const bool on : {true, false}) {
            stBoxData box;
            bool dropped = false;
            QString msg;
            EXPECT_FALSE(
                VPNHttpProtocol::parseVpnInstructionBody(vpnUrl(on ? "true" : "false"), body, box, dropped, msg));
            EXPECT_EQ(msg, u8(on ? row.on : row.off)) << row.code;
            EXPECT_EQ(dropped, row.code == 1) << row.code;
            EXPECT_EQ(box.sn, QStringLiteral("SN9"));
        }
    }

    // Only the exact text "true" names the connect.
    stBoxData box;
    bool dropped = false;
    QString msg;
    EXPECT_FALSE(VPNHttpProtocol::parseVpnInstructionBody(vpnUrl("TRUE"), "", box, dropped, msg));
    EXPECT_EQ(msg, u8("设备解除组网失败，未知错误"));
    EXPECT_FALSE(VPNHttpProtocol::parseVpnInstructionBody(vpnUrl("true"), "", box, dropped, msg));
    EXPECT_EQ(msg, u8("设备组网失败，未知错误"));

    // Success needs "serverIP" and "serverPort"; the credentials are optional.
    EXPECT_FALSE(VPNHttpProtocol::parseVpnInstructionBody(
        vpnUrl("true"), R"({"succeed":true,"info":"","error":0,"serverIP":"1.1.1.1"})", box, dropped, msg));
    EXPECT_EQ(msg, u8("设置组网成功"));
    ASSERT_TRUE(VPNHttpProtocol::parseVpnInstructionBody(
        vpnUrl("true"),
        R"({"succeed":true,"info":"","error":0,"serverIP":"1.1.1.1","serverPort":1195,"openvpn-user":"u","openvpn-password":"p"})",
        box, dropped, msg));
    EXPECT_EQ(box.serverIP, QStringLiteral("1.1.1.1"));
    EXPECT_EQ(box.serverPort, 1195);
    EXPECT_EQ(box.openvpnUser, QStringLiteral("u"));
    EXPECT_EQ(box.openvpnPassword, QStringLiteral("p"));
    ASSERT_TRUE(VPNHttpProtocol::parseVpnInstructionBody(
        vpnUrl("false"), R"({"succeed":true,"info":"","error":0,"serverIP":"1.1.1.1","serverPort":1195})", box, dropped,
        msg));
    EXPECT_TRUE(box.openvpnUser.isEmpty());
}

TEST(VPNHttpProtocolParse, ServerTestAndOnlineReplies)
{
    struct Row {
        const char* body;
        bool ok;
        const char* msg;
    };
    const Row rows[] = {
        {"", false, "untouched"},
        {"nope", false, "untouched"},
        {R"({"succeed":true})", false, "服务器响应异常"},
        {R"({"info":""})", false, "服务器响应异常"},
        {R"({"succeed":false,"info":""})", false, "untouched"},
        {R"({"succeed":true,"info":""})", true, "untouched"},
    };
    for (const Row& row : rows) {
        QString msg = QStringLiteral("untouched");
        EXPECT_EQ(VPNHttpProtocol::parseServerTestBody(row.body, msg), row.ok) << row.body;
        EXPECT_EQ(msg, u8(row.msg)) << row.body;
    }

    EXPECT_FALSE(VPNHttpProtocol::isOnlineReply(QString()));
    EXPECT_FALSE(VPNHttpProtocol::isOnlineReply(QStringLiteral("{}")));
    EXPECT_FALSE(VPNHttpProtocol::isOnlineReply(QStringLiteral(R"({"succeed":true,"info":""})")));
    EXPECT_FALSE(VPNHttpProtocol::isOnlineReply(QStringLiteral(R"({"succeed":true,"info":"","error":1})")));
    EXPECT_TRUE(VPNHttpProtocol::isOnlineReply(QStringLiteral(R"({"succeed":false,"info":"","error":0})")));
    EXPECT_TRUE(VPNHttpProtocol::isOnlineReply(QStringLiteral(R"({"succeed":true,"info":"","error":7})")));
}
