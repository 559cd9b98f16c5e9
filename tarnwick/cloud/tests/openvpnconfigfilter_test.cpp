#include "tarnwick/cloud/openvpnconfigfilter.h"

#include "testing/fakecloud/fakecloud.h"
#include "testing/vpnharness/openvpntestserver.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

namespace {

QByteArray words(const QByteArray& line)
{
    QList<QByteArray> list;
    if (!OpenVpnConfigFilter::splitLine(line, &list))
        return "<unreadable>";
    QByteArray joined;
    for (const QByteArray& w : list)
        joined += '[' + w + ']';
    return joined;
}

const QByteArray kPem = "-----BEGIN CERTIFICATE-----\n"
                        "MIIBszCCAVmgAwIBAgIUQm9ndXNDZXJ0aWZpY2F0ZUZvclRlc3RzMAoGCCqGSM49\n"
                        "-----END CERTIFICATE-----\n";

} // namespace

TEST(OpenVpnConfigFilter, LinesSplitIntoWordsAsOpenvpnReadsThem)
{
    EXPECT_EQ(words("  remote  vpn.example.com 1194\r"), QByteArray("[remote][vpn.example.com][1194]"));
    EXPECT_EQ(words("\"plugin\" '/x y.so' a\\ b"), QByteArray("[plugin][/x y.so][a b]"));
    EXPECT_EQ(words("\"pl\"ugin"), QByteArray("[pl][ugin]"));
    EXPECT_EQ(words("'a\\b' \"c\\\"d\" \\\\e"), QByteArray("[a\\b][c\"d][\\e]"));
    EXPECT_EQ(words("verb 3 # a comment \"open"), QByteArray("[verb][3]"));
    EXPECT_EQ(words("verb#3 ;x"), QByteArray("[verb#3]"));
    EXPECT_EQ(words("\\ plugin"), QByteArray("[plugin]"));
    EXPECT_EQ(words("\\#plugin"), QByteArray(""));
    EXPECT_EQ(words(""), QByteArray(""));
    // Lines openvpn refuses to read.
    EXPECT_EQ(words("pl\\ugin"), QByteArray("<unreadable>"));
    EXPECT_EQ(words("plugin \"/x.so"), QByteArray("<unreadable>"));
    EXPECT_EQ(words("plugin '/x.so"), QByteArray("<unreadable>"));
}

TEST(OpenVpnConfigFilter, OnlyTheServicesOwnConfigurationsPass)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile ca(dir.filePath(QStringLiteral("ca.crt")));
    ASSERT_TRUE(ca.open(QIODevice::WriteOnly));
    ca.write(kPem);
    ca.close();
    const QByteArray everything = "\xEF\xBB\xBF# every directive the service's configurations hold\r\n"
                                  "client\r\n\"dev\" tun\r\n--proto udp\r\nremote 10.1.2.3 1194 udp\r\n"
                                  "resolv-retry infinite\r\nnobind\r\npersist-key\r\npersist-tun\r\n"
                                  "remote-cert-tls server\r\ncipher AES-256-CBC\r\n"
                                  "data-ciphers AES-256-GCM:AES-128-GCM\r\nauth SHA256\r\ncomp-lzo\r\n"
                                  "verb 3\r\nauth-user-pass\r\nkey-direction 1\r\nconnect-retry 1\r\n"
                                  "; lines of the Windows build\r\nblock-outside-dns\r\nregister-dns\r\n\r\n"
                                  "<ca>\r\n"
                                  + kPem + "</ca>\r\n  <cert>\n" + kPem
                                  + "  </cert>\n"
                                    "<key>\n"
                                  + kPem + "</key>\n<tls-auth>\n" + kPem
                                  + "</tls-auth>\n"
                                    "\"<tls-crypt>\" # quoted\n"
                                  + kPem + "</tls-crypt>";
    const QByteArray own[] = {FakeCloud().configText(), OpenVpnTestServer(dir.path()).clientConfig(), everything};
    for (const QByteArray& text : own) {
        const OpenVpnConfigFilter::Verdict verdict = OpenVpnConfigFilter::check(text);
        EXPECT_TRUE(verdict.allowed) << text.constData() << "\n-> line " << verdict.line << ": "
                                     << verdict.reason.toStdString();
    }
}

TEST(OpenVpnConfigFilter, HostileConfigurationsAreRefusedNamingTheDirectiveAndTheLine)
{
    struct Case {
        QByteArray text;
        int line;
        QByteArray directive;
    };
    const QByteArray longLine = "</ca>" + QByteArray(300, ' ') + "plugin /tmp/evil.so";
    const Case cases[] = {
        {"client\n\"plugin\" /tmp/evil.so\n", 2, "plugin"},
        {"client\n'log' /tmp/owned\n", 2, "log"},
        {"\xEF\xBB\xBFplugin /tmp/evil.so\nclient\n", 1, "plugin"},
        {"client\n--plugin /tmp/evil.so\n", 2, "plugin"},
        {"client\n\"--plugin\" /tmp/evil.so\n", 2, "plugin"},
        {"client\n\\ plugin /tmp/evil.so\n", 2, "plugin"},
        {"client\n  \t plugin\t/tmp/evil.so arg\r\n", 2, "plugin"},
        {"client\nreplay-persist /tmp/owned\n", 2, "replay-persist"},
        {"client\nmanagement 127.0.0.1 7505\n", 2, "management"},
        {"client\nlog /tmp/owned\n", 2, "log"},
        {"client\nlog-append /tmp/owned\n", 2, "log-append"},
        {"client\nstatus /tmp/owned 1\n", 2, "status"},
        {"client\nup /bin/sh\n", 2, "up"},
        {"client\ntmp-dir /tmp/owned\n", 2, "tmp-dir"},
        {"client\nscript-security 2\n", 2, "script-security"},
        {"client\nconfig /tmp/more.ovpn\n", 2, "config"},
        {"client\nsetenv opt plugin /tmp/evil.so\n", 2, "setenv"},
        {"client\nPLUGIN /tmp/evil.so\n", 2, "PLUGIN"},
        {"client\n<ca>\n" + kPem + "</ca> plugin /tmp/evil.so\nverb 3\n", 6, "plugin"},
        {"client\n<ca>\n" + kPem + "  </ca>management 127.0.0.1 7505\n", 6, "management"},
        // Openvpn would read the line in two and run the second half.
        {"client\n<ca>\n" + longLine + "\n</ca>\n", 3, "</ca>"},
        {"client\n" + QByteArray(255, 'x') + "\n", 2, QByteArray(255, 'x')},
        {"client\n<connection>\nremote 10.1.2.3\nup /bin/sh\n</connection>\n", 2, "connection"},
        {"client\n<plugin>\n/tmp/evil.so\n</plugin>\n", 2, "plugin"},
        {"client\n--<auth-user-pass>\nu\np\n</auth-user-pass>\n", 2, "auth-user-pass"},
        {"client\nca /etc/ssl/certs/ca.pem\n", 2, "ca"},
        {"client\n<ca>\n" + kPem + "plugin /tmp/evil.so\n", 2, "ca"},
        {"client\n<ca> extra\n" + kPem + "</ca>\n", 2, "<ca>"},
        {QByteArray("client\0\nplugin /tmp/evil.so\n", 28), 1, ""},
        {"client\nplugin \"/tmp/evil.so\n", 2, "plugin"},
        {"client\n\xEF\xBB\xBFverb 3\n", 2, "\xEF\xBB\xBFverb"},
    };
    for (const Case& c : cases) {
        const OpenVpnConfigFilter::Verdict verdict = OpenVpnConfigFilter::check(c.text);
        EXPECT_FALSE(verdict.allowed) << c.text.constData();
        EXPECT_EQ(verdict.line, c.line) << c.text.constData();
        EXPECT_EQ(verdict.directive, c.directive) << c.text.constData();
        EXPECT_FALSE(verdict.reason.isEmpty());
    }
}

TEST(OpenVpnConfigFilter, LogTextIsPrintableAndShort)
{
    EXPECT_EQ(OpenVpnConfigFilter::printable("a\x1b[2J\r\n\xEF"), QStringLiteral("a\\x1b[2J\\x0d\\x0a\\xef"));
    EXPECT_EQ(OpenVpnConfigFilter::printable(QByteArray(200, 'y')), QString(120, QLatin1Char('y')) + "...");
}
