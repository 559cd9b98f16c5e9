#include "tarnwick/cloud/vpnconnmsg.h"

#include "tarnwick/cloud/cloudconstants.h"
#include "tarnwick/cloud/sequencerun.h"
#include "tarnwick/core/constants.h"

#include <QDebug>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace C = Tarnwick::Constants;
namespace Msg = Tarnwick::Cloud::Msg;

VPNConnMsg::VPNConnMsg()
    : m_manager(new QNetworkAccessManager(this))
{
    registerCloudMetaTypes();
    connect(m_manager, &QNetworkAccessManager::finished, this, &VPNConnMsg::FinishAction);
    m_steps.insert(0, &VPNConnMsg::requestVpnOn);
    m_steps.insert(1, &VPNConnMsg::requestTargetStatus);
    m_routes.insert(C::kPathDeviceStatus, &VPNConnMsg::onDeviceStatusReply);
    m_routes.insert(C::kPathVpnInstruct, &VPNConnMsg::onVpnInstructionReply);
}

VPNConnMsg::~VPNConnMsg() = default;

void VPNConnMsg::Start(const stVpnClientData& session, const QString& sn, const QString& accountKey)
{
    ++m_run;
    data = session;
    target.sn = sn;
    target.devicePassword = accountKey;
    target.vpn = false;
    target.online = false;
    if (!data.bLogin) {
        emit Complete(false, data, Msg::connDropped());
        return;
    }
    if (target.sn.isEmpty()) {
        emit Complete(false, data, Msg::connBadSn());
        return;
    }
    runStep(0);
}

void VPNConnMsg::runStep(qint32 step)
{
    if (!SequenceRun::call(this, m_steps, step))
        emit Complete(false, data, Msg::seqUnknown());
}

void VPNConnMsg::requestVpnOn()
{
    stVpnInstruction instruction;
    instruction.on = true;
    instruction.sn = target.sn;
    instruction.accountKey = data.login.strDevicePswd;
    SequenceRun::tag(m_http.requestVpnInstruction(m_manager, data.login.strServerAddr, data.strToken, instruction),
                     m_run);
}

void VPNConnMsg::requestTargetStatus()
{
    SequenceRun::tag(m_http.requestDeviceStatus(m_manager, data.login.strServerAddr, data.strToken, target), m_run);
}

void VPNConnMsg::FinishAction(QNetworkReply* reply)
{
    const QString path = reply->url().path(QUrl::FullyDecoded);
    qDebug().noquote() << "url: " + path + " ret: "
                              + QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(reply->error());
    if (!SequenceRun::belongsTo(reply, m_run)) {
        qDebug().noquote() << "VPNConnMsg: reply of a superseded run dropped";
        reply->deleteLater();
        return;
    }
    if (!SequenceRun::call(this, m_routes, path, reply))
        emit Complete(false, data, Msg::seqUnknown());
    reply->deleteLater();
}

bool VPNConnMsg::parseOrEnd(Parser parse, QNetworkReply* reply, stBoxData& reported)
{
    bool dropped = false;
    QString msg;
    if ((m_http.*parse)(reply, reported, dropped, msg))
        return true;
    data.bLogin = !dropped;
    emit Complete(false, data, msg);
    return false;
}

void VPNConnMsg::onVpnInstructionReply(QNetworkReply* reply)
{
    stBoxData reported;
    if (!parseOrEnd(&VPNHttpProtocol::parseVpnInstructionReply, reply, reported))
        return;
    data.box.vpn = true;
    data.box.serverPort = reported.serverPort;
    data.box.serverIP = reported.serverIP;
    data.box.openvpnUser = reported.openvpnUser;
    data.box.openvpnPassword = reported.openvpnPassword;
    runStep(1);
}

void VPNConnMsg::onDeviceStatusReply(QNetworkReply* reply)
{
    stBoxData reported;
    if (!parseOrEnd(&VPNHttpProtocol::parseDeviceStatusReply, reply, reported))
        return;
    SequenceRun::takeDeviceStatus(data.box, reported);
    emit Complete(true, data, Msg::connOk());
}
