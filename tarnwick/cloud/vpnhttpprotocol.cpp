#include "tarnwick/cloud/vpnhttpprotocol.h"

#include "tarnwick/cloud/cloudconstants.h"
#include "tarnwick/cloud/cloudjson.h"
#include "tarnwick/cloud/cloudlogmask.h"
#include "tarnwick/cloud/qreplytimeout.h"
#include "tarnwick/cloud/replybodybound.h"
#include "tarnwick/core/constants.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrlQuery>

namespace C = Tarnwick::Constants;
namespace Cloud = Tarnwick::Cloud;
namespace Msg = Tarnwick::Cloud::Msg;
using CloudJson::Json;

namespace {

// The steps every reply parser takes first: the default message, the debug
// line, and a JSON object with the three common members. False when the
// body is empty or not such an object.
bool readCommon(const QUrl& url, const QByteArray& body, Json& object)
{
    qDebug().noquote() << "http recv: " + CloudLogMask::url(url) + " &&&& data: " + CloudLogMask::body(body);
    if (body.isEmpty())
        return false;
    if (!CloudJson::parseObject(body, object))
        return false;
    return CloudJson::has(object, C::kReplySucceed.c_str()) && CloudJson::has(object, C::kReplyInfo.c_str())
           && CloudJson::has(object, C::kReplyError.c_str());
}

qint32 errorCode(const Json& object)
{
    return CloudJson::readInt(object, C::kReplyError.c_str());
}

bool succeeded(const Json& object)
{
    return CloudJson::readBool(object, C::kReplySucceed.c_str());
}

bool hasAll(const Json& object, std::initializer_list<const std::string*> keys)
{
    for (const std::string* key : keys) {
        if (!CloudJson::has(object, key->c_str()))
            return false;
    }
    return true;
}

QString loginMessage(qint32 code)
{
    switch (code) {
    case 0: return Msg::loginOk();
    case 1: return Msg::loginBadUser();
    case 2: return Msg::loginAlready();
    case 7: return Msg::loginBadServerPswd();
    case 11: return Msg::loginTooLong();
    default: return Msg::loginDefault();
    }
}

QString listMessage(qint32 code)
{
    switch (code) {
    case 0: return Msg::listOk();
    case 1: return Msg::listTimeout();
    default: return Msg::listDefault();
    }
}

QString statusMessage(qint32 code)
{
    switch (code) {
    case 0: return Msg::statusOk();
    case 1: return Msg::statusTimeout();
    case 2: return Msg::statusNoRight();
    case 3: return Msg::statusNoDevice();
    default: return Msg::statusDefault();
    }
}

QString vpnMessage(qint32 code, const QString& operation)
{
    switch (code) {
    case 0: return Msg::vpnOk();
    case 1: return Msg::vpnTimeout().arg(operation);
    case 2: return Msg::vpnNoRight().arg(operation);
    case 3: return Msg::vpnNoDevice().arg(operation);
    case 4: return Msg::vpnOccupied().arg(operation);
    case 5: return Msg::vpnOffline().arg(operation);
    case 10: return Msg::vpnTooManyUsers().arg(operation);
    default: return Msg::vpnDefault().arg(operation);
    }
}

// "iccid" may carry a note in parentheses at its end: "A(B)".
void splitIccid(const QString& text, stBoxData& box)
{
    const int open = text.indexOf(QLatin1Char('('));
    if (open >= 0 && open + 1 < text.size() && text.endsWith(QLatin1Char(')'))) {
        box.iccid = text.left(open);
        box.iccidNote = text.mid(open + 1, text.size() - open - 2);
    } else {
        box.iccid = text;
        box.iccidNote.clear();
    }
}

} // namespace

VPNHttpProtocol::VPNHttpProtocol() = default;

VPNHttpProtocol::~VPNHttpProtocol() = default;

void VPNHttpProtocol::setReplyTimeoutMs(int milliseconds)
{
    m_replyTimeoutMs = milliseconds;
}

QString VPNHttpProtocol::md5Hex(const QString& text)
{
    return QString::fromLatin1(QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Md5).toHex()).toUpper();
}

QString VPNHttpProtocol::encodeQueryValue(const QString& value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

QString VPNHttpProtocol::queryValue(const QUrl& url, const QString& key)
{
    return QUrlQuery(url).queryItemValue(key, QUrl::FullyDecoded);
}

QNetworkReply* VPNHttpProtocol::sendGet(QNetworkAccessManager* manager, const QString& host,
                                        const QString& pathWithQuery) const
{
    const QUrl url(QStringLiteral("http://%1%2").arg(host, pathWithQuery), QUrl::TolerantMode);
    QNetworkRequest request(url);
    // Without it Qt asks for gzip and inflates on its own thread, where no
    // bound applies; so a compressed answer stays compressed and counts as sent.
    request.setRawHeader(Cloud::kAcceptEncodingHeader, Cloud::kAcceptEncodingIdentity);
    qDebug().noquote() << "http get: " + CloudLogMask::url(url);
    QNetworkReply* reply = manager->get(request);
    new QReplyTimeout(reply, m_replyTimeoutMs);
    // Qt's network thread reads no further ahead than this of what the body
    // reader below has taken out.
    reply->setReadBufferSize(Cloud::kReplyReadAheadBytes);
    new ReplyBodyBound(reply, Cloud::kMaxReplyBytes);
    return reply;
}

QNetworkReply* VPNHttpProtocol::requestLogin(QNetworkAccessManager* manager, const stLoginData& login) const
{
    const QString adminDigest = md5Hex(login.strServerPswd);
    const QString deviceDigest = md5Hex(login.strDevicePswd);
    const QString path = QStringLiteral("%1?%2=%3&%4=%5&%6=%7&%8=%9")
                             .arg(C::kPathLogin, C::kReqDomain, encodeQueryValue(Cloud::domainValue()),
                                  C::kReqAdminPassword, adminDigest, C::kReqDevicePassword, deviceDigest, C::kReqVer,
                                  encodeQueryValue(login.strVersion));
    return sendGet(manager, login.strServerAddr, path);
}

QNetworkReply* VPNHttpProtocol::requestLogout(QNetworkAccessManager* manager, const QString& host,
                                              const QString& token) const
{
    return sendGet(manager, host, C::kPathLogout + '?' + C::kReqToken + '=' + encodeQueryValue(token));
}

QNetworkReply* VPNHttpProtocol::requestDeviceList(QNetworkAccessManager* manager, const QString& host,
                                                  const QString& token) const
{
    return sendGet(manager, host, C::kPathDeviceList + '?' + C::kReqToken + '=' + encodeQueryValue(token));
}

QNetworkReply* VPNHttpProtocol::requestHeartbeat(QNetworkAccessManager* manager, const QString& host,
                                                 const QString& token) const
{
    return sendGet(manager, host, C::kPathBeats + '?' + C::kReqToken + '=' + encodeQueryValue(token));
}

QNetworkReply* VPNHttpProtocol::requestServerTest(QNetworkAccessManager* manager, const QString& host) const
{
    return sendGet(manager, host, C::kPathTestUrl);
}

QNetworkReply* VPNHttpProtocol::requestDeviceStatus(QNetworkAccessManager* manager, const QString& host,
                                                    const QString& token, const stBoxData& box) const
{
    const QString path = C::kPathDeviceStatus + '?' + C::kReqToken + '=' + encodeQueryValue(token) + '&' + C::kReqSn
                         + '=' + encodeQueryValue(box.sn) + '&' + C::kReqDevicePassword + '='
                         + md5Hex(box.devicePassword);
    return sendGet(manager, host, path);
}

QNetworkReply* VPNHttpProtocol::requestVpnInstruction(QNetworkAccessManager* manager, const QString& host,
                                                      const QString& token, const stVpnInstruction& instruction) const
{
    const QString path = C::kPathVpnInstruct + '?' + C::kReqToken + '=' + encodeQueryValue(token) + '&' + C::kReqSn
                         + '=' + encodeQueryValue(instruction.sn) + '&' + C::kReqDevicePassword + '='
                         + md5Hex(instruction.accountKey) + '&' + C::kReqVpn + '='
                         + (instruction.on ? Cloud::vpnOnValue() : Cloud::vpnOffValue());
    qDebug().noquote() << CloudLogMask::pathWithQuery(path);
    return sendGet(manager, host, path);
}

QByteArray VPNHttpProtocol::readBody(QNetworkReply* reply)
{
    if (reply == nullptr || !reply->isOpen())
        return QByteArray();
    QByteArray body = ReplyBodyBound::takeBody(reply);
    if (body.size() > Cloud::kMaxReplyBytes)
        return QByteArray();
    return body;
}

bool VPNHttpProtocol::parseLoginReply(QNetworkReply* reply, stLoginResult& result, QString& msg) const
{
    return parseLoginBody(reply->url(), readBody(reply), result, msg);
}

bool VPNHttpProtocol::parseLogoutReply(QNetworkReply* reply, QString& msg) const
{
    return parseLogoutBody(reply->url(), readBody(reply), msg);
}

bool VPNHttpProtocol::parseHeartbeatReply(QNetworkReply* reply, QString& token, bool& dropped, QString& msg) const
{
    return parseHeartbeatBody(reply->url(), readBody(reply), token, dropped, msg);
}

bool VPNHttpProtocol::parseDeviceListReply(QNetworkReply* reply, QVector<stBoxData>& boxes, bool& dropped,
                                           QString& msg) const
{
    return parseDeviceListBody(reply->url(), readBody(reply), boxes, dropped, msg);
}

bool VPNHttpProtocol::parseDeviceStatusReply(QNetworkReply* reply, stBoxData& box, bool& dropped, QString& msg) const
{
    return parseDeviceStatusBody(reply->url(), readBody(reply), box, dropped, msg);
}

bool VPNHttpProtocol::parseVpnInstructionReply(QNetworkReply* reply, stBoxData& box, bool& dropped, QString& msg) const
{
    return parseVpnInstructionBody(reply->url(), readBody(reply), box, dropped, msg);
}

bool VPNHttpProtocol::parseServerTestReply(QNetworkReply* reply, QString& msg) const
{
    return parseServerTestBody(readBody(reply), msg);
}

bool VPNHttpProtocol::parseLoginBody(const QUrl& url, const QByteArray& body, stLoginResult& result, QString& msg)
{
    msg = Msg::loginDefault();
    Json object;
    if (!readCommon(url, body, object))
        return false;
    result.auth = CloudJson::readInt(object, C::kReplyAuth.c_str());
    msg = loginMessage(errorCode(object));
    if (!succeeded(object))
        return false;
    if (!hasAll(object, {&C::kReplyToken, &C::kReplyCaText, &C::kReplyCaName, &C::kReplyVer, &C::kReplyPermission})) {
        msg = Msg::loginIncompatible();
        return false;
    }
    result.token = CloudJson::readText(object, C::kReplyToken.c_str());
    result.caName = CloudJson::readText(object, C::kReplyCaName.c_str());
    result.caText = CloudJson::readText(object, C::kReplyCaText.c_str());
    result.ver = CloudJson::readText(object, C::kReplyVer.c_str());
    result.permission = CloudJson::readInt(object, C::kReplyPermission.c_str());
    return true;
}

bool VPNHttpProtocol::parseLogoutBody(const QUrl& url, const QByteArray& body, QString& msg)
{
    msg = Msg::logoutDefault();
    Json object;
    if (!readCommon(url, body, object))
        return false;
    // Code 1 means the session was already gone: as good as a logout.
    if (succeeded(object) || errorCode(object) == 1) {
        msg = Msg::logoutOk();
        return true;
    }
    return false;
}

bool VPNHttpProtocol::parseHeartbeatBody(const QUrl& url, const QByteArray& body, QString& token, bool& dropped,
                                         QString& msg)
{
    token = queryValue(url, C::kReqToken);
    dropped = false;
    Json object;
    if (!readCommon(url, body, object))
        return false;
    if (errorCode(object) == 1) {
        msg = Msg::beatsTimeout();
        dropped = true;
    }
    return true;
}

bool VPNHttpProtocol::parseDeviceListBody(const QUrl& url, const QByteArray& body, QVector<stBoxData>& boxes,
                                          bool& dropped, QString& msg)
{
    boxes.resize(0);
    msg = Msg::listDefault();
    dropped = false;
    Json object;
    if (!readCommon(url, body, object))
        return false;
    const qint32 code = errorCode(object);
    msg = listMessage(code);
    dropped = code == 1;
    if (!succeeded(object) || !CloudJson::has(object, C::kReplyDevices.c_str()))
        return false;
    const Json& devices = object[C::kReplyDevices];
    if (!devices.is_array())
        return true;
    boxes.reserve(static_cast<int>(devices.size()));
    for (const Json& element : devices) {
        if (!element.is_object()
            || !hasAll(element, {&C::kReplySn, &C::kReplyAlias, &C::kReplyOnline, &C::kReplyVpn, &C::kReplyRemark,
                                 &C::kReplyIp, &C::kReplyServerIp}))
            continue;
        stBoxData box;
        box.vpn = CloudJson::readBool(element, C::kReplyVpn.c_str());
        box.online = CloudJson::readBool(element, C::kReplyOnline.c_str());
        box.alias = CloudJson::readText(element, C::kReplyAlias.c_str());
        box.sn = CloudJson::readText(element, C::kReplySn.c_str());
        box.state = CloudJson::readInt(element, C::kReplyState.c_str());
        box.remark = CloudJson::readText(element, C::kReplyRemark.c_str());
        box.ip = CloudJson::readText(element, C::kReplyIp.c_str());
        box.serverIP = CloudJson::readText(element, C::kReplyServerIp.c_str());
        splitIccid(CloudJson::readText(element, C::kReplyIccid.c_str()), box);
        boxes.append(box);
    }
    return true;
}

bool VPNHttpProtocol::parseDeviceStatusBody(const QUrl& url, const QByteArray& body, stBoxData& box, bool& dropped,
                                            QString& msg)
{
    box.vpn = false;
    box.sn = queryValue(url, C::kReqSn);
    msg = Msg::statusDefault();
    dropped = false;
    Json object;
    if (!readCommon(url, body, object))
        return false;
    const qint32 code = errorCode(object);
    msg = statusMessage(code);
    dropped = code == 1;
    if (!succeeded(object)
        || !hasAll(object, {&C::kReplyIp, &C::kReplyServerIp, &C::kReplyVpn, &C::kReplyServerPort, &C::kReplyBind}))
        return false;
    box.vpn = CloudJson::readBool(object, C::kReplyVpn.c_str());
    box.bind = CloudJson::readText(object, C::kReplyBind.c_str());
    box.ip = CloudJson::readText(object, C::kReplyIp.c_str());
    box.serverIP = CloudJson::readText(object, C::kReplyServerIp.c_str());
    box.serverPort = CloudJson::readInt(object, C::kReplyServerPort.c_str());
    return true;
}

bool VPNHttpProtocol::parseVpnInstructionBody(const QUrl& url, const QByteArray& body, stBoxData& box, bool& dropped,
                                              QString& msg)
{
    // The operation text of the messages follows the request's own "vpn" value.
    const QString operation = queryValue(url, C::kReqVpn) == Cloud::vpnOnValue() ? Msg::vpnOpOn() : Msg::vpnOpOff();
    msg = Msg::vpnDefault().arg(operation);
    dropped = false;
    box.sn = queryValue(url, C::kReqSn);
    Json object;
    if (!readCommon(url, body, object))
        return false;
    const qint32 code = errorCode(object);
    msg = vpnMessage(code, operation);
    dropped = code == 1;
    if (!succeeded(object) || !hasAll(object, {&C::kReplyServerIp, &C::kReplyServerPort}))
        return false;
    box.serverIP = CloudJson::readText(object, C::kReplyServerIp.c_str());
    box.serverPort = CloudJson::readInt(object, C::kReplyServerPort.c_str());
    box.openvpnUser = CloudJson::readText(object, C::kReplyOpenvpnUser.c_str());
    box.openvpnPassword = CloudJson::readText(object, C::kReplyOpenvpnPassword.c_str());
    return true;
}

bool VPNHttpProtocol::parseServerTestBody(const QByteArray& body, QString& msg)
{
    if (body.isEmpty())
        return false;
    Json object;
    if (!CloudJson::parseObject(body, object))
        return false;
    if (!CloudJson::has(object, C::kReplyInfo.c_str()) || !CloudJson::has(object, C::kReplySucceed.c_str())) {
        msg = Msg::serverTestBad();
        return false;
    }
    return succeeded(object);
}

bool VPNHttpProtocol::isOnlineReply(const QString& body)
{
    if (body.isEmpty())
        return false;
    Json object;
    if (!CloudJson::parseObject(body.toUtf8(), object))
        return false;
    if (!hasAll(object, {&C::kReplySucceed, &C::kReplyInfo, &C::kReplyError}))
        return false;
    return errorCode(object) != 1;
}
