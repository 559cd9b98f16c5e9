#include "tarnwick/cloud/vpndisconnmsg.h"

#include "tarnwick/cloud/cloudconstants.h"
#include "tarnwick/cloud/sequencerun.h"
#include "tarnwick/core/constants.h"

#include <QDebug>
#include <QMetaEnum>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace C = Tarnwick::Constants;
namespace Msg = Tarnwick::Cloud::Msg;

VPNDisconnMsg::VPNDisconnMsg()
    : m_manager(new QNetworkAccessManager(this))
{
    registerCloudMetaTypes();
    connect(m_manager, &QNetworkAccessManager::finished, this, &VPNDisconnMsg::FinishAction);
    // There is no step 2.
    m_steps.insert(0, &VPNDisconnMsg::requestDeviceList);
    m_steps.insert(1, &VPNDisconnMsg::requestBoxStatus);
    m_steps.insert(3, &VPNDisconnMsg::requestVpnOff);
    m_routes.insert(C::kPathDeviceList, &VPNDisconnMsg::onDeviceListReply);
    m_routes.insert(C::kPathDeviceStatus, &VPNDisconnMsg::onDeviceStatusReply);
    m_routes.insert(C::kPathVpnInstruct, &VPNDisconnMsg::onVpnInstructionReply);
}

VPNDisconnMsg::~VPNDisconnMsg() = default;

void VPNDisconnMsg::Start(const stVpnClientData& session)
{
    ++m_run;
    data = session;
    if (!data.bLogin) {
        emit Complete(false, data, Msg::disconnDropped());
        return;
    }
    if (data.box.sn.isEmpty() || data.box.devicePassword.isEmpty()) {
        emit Complete(true, data, Msg::disconnNothing());
        return;
    }
    runStep(0);
}

void VPNDisconnMsg::runStep(qint32 step)
{
    if (!SequenceRun::call(this, m_steps, step))
        emit Complete(false, data, Msg::seqUnknown());
}

void VPNDisconnMsg::requestDeviceList()
{
    SequenceRun::tag(m_http.requestDeviceList(m_manager, data.login.strServerAddr, data.strToken), m_run);
}

void VPNDisconnMsg::requestBoxStatus()
{
    SequenceRun::tag(m_http.requestDeviceStatus(m_manager, data.login.strServerAddr, data.strToken, data.box), m_run);
}

void VPNDisconnMsg::requestVpnOff()
{
    stVpnInstruction instruction;
    instruction.on = false;
    instruction.sn = data.box.sn;
    instruction.accountKey = data.login.strDevicePswd;
    SequenceRun::tag(m_http.requestVpnInstruction(m_manager, data.login.strServerAddr, data.strToken, instruction),
                     m_run);
}

void VPNDisconnMsg::FinishAction(QNetworkReply* reply)
{
    const QString path = reply->url().path(QUrl::FullyDecoded);
    if (path != C::kPathDeviceList) {
        qDebug().noquote() << "url: " + path + " ret: "
                                  + QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(reply->error());
    }
    if (!SequenceRun::belongsTo(reply, m_run)) {
        qDebug().noquote() << "VPNDisconnMsg: reply of a superseded run dropped";
        reply->deleteLater();
        return;
    }
    if (!SequenceRun::call(this, m_routes, path, reply))
        emit Complete(false, data, Msg::seqUnknownRoute());
    reply->deleteLater();
}

void VPNDisconnMsg::onDeviceListReply(QNetworkReply* reply)
{
    QVector<stBoxData> boxes;
    bool dropped = false;
    QString msg;
    if (!m_http.parseDeviceListReply(reply, boxes, dropped, msg)) {
        data.bLogin = !dropped;
        emit Complete(false, data, Msg::disconnListFailed());
        return;
    }
    for (const stBoxData& listed : qAsConst(boxes)) {
        if (listed.sn != data.box.sn)
            continue;
        data.box.online = listed.online;
        if (!listed.online)
            emit Complete(true, data, Msg::disconnOffline());
        else
            runStep(1);
        return;
    }
    emit Complete(true, data, Msg::disconnUnknownSn());
}

void VPNDisconnMsg::onDeviceStatusReply(QNetworkReply* reply)
{
    stBoxData reported;
    bool dropped = false;
    QString msg;
    if (!m_http.parseDeviceStatusReply(reply, reported, dropped, msg)) {
        emit Complete(false, data, Msg::disconnStatusFailed());
        return;
    }
    SequenceRun::takeDeviceStatus(data.box, reported);
    runStep(3);
}

void VPNDisconnMsg::onVpnInstructionReply(QNetworkReply* reply)
{
    stBoxData reported;
    bool dropped = false;
    QString msg;
    // A refused or unanswered VPN-off is a failure: the device may still be
    // in the VPN.
    if (!m_http.parseVpnInstructionReply(reply, reported, dropped, msg)) {
        emit Complete(false, data, msg);
        return;
    }
    data.box.vpn = false;
    data.box.serverPort = 0;
    data.box.serverIP.clear();
    emit Complete(true, data, Msg::disconnOk());
}
