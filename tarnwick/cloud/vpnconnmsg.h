#pragma once

#include "tarnwick/cloud/cloudrecords.h"
#include "tarnwick/cloud/vpnhttpprotocol.h"

#include <QMap>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

// The connect sequence of a cloud device: asks the service to put the device
// into the VPN, then reads back its VPN status, and reports once through Complete.
class VPNConnMsg : public QObject {
    Q_OBJECT
public:
    VPNConnMsg();
    ~VPNConnMsg() override;

    // Starts a connect of device `sn`; a run still waiting is superseded.
    void Start(const stVpnClientData& session, const QString& sn, const QString& accountKey);

signals:
    void Complete(bool bSuc, stVpnClientData data, QString strErrMsg);

private slots:
    void FinishAction(QNetworkReply* reply);

private:
    using Step = void (VPNConnMsg::*)();
    using Handler = void (VPNConnMsg::*)(QNetworkReply*);
    using Parser = bool (VPNHttpProtocol::*)(QNetworkReply*, stBoxData&, bool&, QString&) const;

    void runStep(qint32 step);
    void requestVpnOn();
    void requestTargetStatus();
    void onDeviceStatusReply(QNetworkReply* reply);
    void onVpnInstructionReply(QNetworkReply* reply);
    // Parses a reply into `reported`; when it fails, ends the run with the
    // parser's message, the login lost if the service dropped it.
    bool parseOrEnd(Parser parse, QNetworkReply* reply, stBoxData& reported);

    QNetworkAccessManager* m_manager = nullptr; // child of this object
    VPNHttpProtocol m_http;
    stVpnClientData data;
    stBoxData target;
    QMap<qint32, Step> m_steps;
    QMap<QString, Handler> m_routes;
    quint64 m_run = 0;
};
