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
    const auto it = m_steps.constFind(step);
    if (it == m_steps.constEnd()) {
        emit Complete(false, data, Msg::seqUnknown());
        return;
    }
    (this->*it.value())();
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
    const auto it = m_routes.constFind(path);
    if (it == m_routes.constEnd())
        emit Complete(false, data, Msg::seqUnknown());
    else
        (this->*it.value())(reply);
    reply->deleteLater();
}

void VPNConnMsg::onVpnInstructionReply(QNetworkReply* reply)
{
    stBoxData reported;
    bool dropped = false;
    QString msg;
    if (!m_http.parseVpnInstructionReply(reply, reported, dropped, msg)) {
        data.bLogin = !dropped;
        emit Complete(false, data, msg);
        return;
    }
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
    bool dropped = false;
    QString msg;
    if (!m_http.parseDeviceStatusReply(reply, reported, dropped, msg)) {
        data.bLogin = !dropped;
        emit Complete(false, data, msg);
        return;
    }
    data.box.vpn = reported.vpn;
    data.box.serverPort = reported.serverPort;
    data.box.bind = reported.bind;
    data.box.serverIP = reported.serverIP;
    data.box.sn = reported.sn;
    data.box.ip = reported.ip;
    emit Complete(true, data, Msg::connOk());
}
