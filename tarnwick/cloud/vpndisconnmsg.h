#pragma once

#include "tarnwick/cloud/cloudrecords.h"
#include "tarnwick/cloud/vpnhttpprotocol.h"

#include <QMap>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

// The disconnect sequence of a cloud device: checks in the device list that
// the device is known and online, reads its status, then asks the service to
// take it out of the VPN; reports once through Complete.
class VPNDisconnMsg : public QObject {
    Q_OBJECT
public:
    VPNDisconnMsg();
    ~VPNDisconnMsg() override;

    // Starts a disconnect of the device in `session.box`; a run still
    // waiting is superseded.
    void Start(const stVpnClientData& session);

signals:
    void Complete(bool bSuc, stVpnClientData data, QString strErrMsg);

private slots:
    void FinishAction(QNetworkReply* reply);

private:
    using Step = void (VPNDisconnMsg::*)();
    using Handler = void (VPNDisconnMsg::*)(QNetworkReply*);

    void runStep(qint32 step);
    void requestDeviceList();
    void requestBoxStatus();
    void requestVpnOff();
    void onDeviceListReply(QNetworkReply* reply);
    void onDeviceStatusReply(QNetworkReply* reply);
    void onVpnInstructionReply(QNetworkReply* reply);

    QNetworkAccessManager* m_manager = nullptr; // child of this object
    VPNHttpProtocol m_http;
    stVpnClientData data;
    QMap<qint32, Step> m_steps;
    QMap<QString, Handler> m_routes;
    quint64 m_run = 0;
};
