#pragma once

// Asks the GUI for the project password (GetPasswd), blocks the dispatcher
// thread until SetPasswd answers, and checks the password on the panel.
// A cancel or a failed check disconnects the client; only the panel's answer
// false reads as a wrong password, a check without answer as a network
// failure. At application quit a pending request is answered with cancel;
// so is one that gets no answer within its limit.

#include "tarnwick/core/messages/msgbase.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include <QMutex>
#include <QSemaphore>
#include <QString>

#include <string>

class PanelRpcClient;

class PasswdMsg : public MsgBase {
    Q_OBJECT
public:
    // Answer modes of SetPasswd.
    static constexpr int kModeCheck = 1;
    static constexpr int kModeCancel = 0;

    explicit PasswdMsg(PanelRpcClient* client);
    ~PasswdMsg() override;

    void Run() override;

    // How long Run waits for the answer (kPasswordAnswerLimitMs unless set).
    void setAnswerLimitMs(int ms) { m_answerLimitMs = ms; }

public slots:
    // Hands over the user's answer: mode 1 checks the password, any other
    // value cancels. Callable from any thread.
    void SetPasswd(std::string password, int mode);

signals:
    void Complete(bool bSuc, QString strErrMsg);
    void GetPasswd();

private:
    PanelRpcClient* m_client;
    QSemaphore m_answered{0};
    std::string m_password;
    int m_mode = 0;
    QMutex m_answerLock; // the answer may come from any thread
    int m_answerLimitMs;
};
