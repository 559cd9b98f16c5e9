#pragma once

// Reads (any action but 0) or changes (action 0) the cloud server address
// configured on a panel, through the panel's service on port 9009. A change
// may need the panel's password: GetPasswd(this) asks for it, SetPasswd
// hands it over (empty: cancelled; no answer within the limit counts as a
// cancel), and it is checked on the panel as an MD5 digest. A check or a
// change that fails is a failed connection to the device, not a refusal (a
// failed "hasPassword" counts as no password). One Complete on every path.

#include "tarnwick/core/messages/msgbase.h"

#include <QMutex>
#include <QSemaphore>
#include <QString>

#include <memory>
#include <string>

namespace FF {
namespace RPC {
class DispatchClient;
}
} // namespace FF

class VPNRpcObject : public MsgBase {
    Q_OBJECT
public:
    static constexpr int kActionChange = 0;

    VPNRpcObject(const QString& serverAddress, const QString& panelAddress, int action);
    ~VPNRpcObject() override;

    void Run() override;

    // The port of the panel's service; tests point it elsewhere.
    void setServicePort(unsigned int port) { m_port = port; }
    // How long a change waits for the password (kPasswordAnswerLimitMs unless set).
    void setAnswerLimitMs(int ms) { m_answerLimitMs = ms; }
    // Whether text is four dot-separated numbers 0-255 without leading zeros.
    static bool isIpv4Address(const QString& text);

signals:
    void GetPasswd(VPNRpcObject* obj);
    void Complete(bool bSuc, QString strServerIP);

public slots:
    void SetPasswd(std::string strPasswd);

private:
    void runChange();
    void runRead();
    bool openClient();
    void releaseClient();

    std::string m_password;
    QString m_serverAddress;
    QString m_panelAddress;
    QSemaphore m_passwordReady{0};
    QMutex m_passwordLock;
    std::unique_ptr<FF::RPC::DispatchClient> m_client;
    int m_action;
    unsigned int m_port;
    int m_answerLimitMs;
};

Q_DECLARE_METATYPE(VPNRpcObject*)
