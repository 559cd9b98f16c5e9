#include "tarnwick/core/messages/passwdmsg.h"

#include "tarnwick/core/messages/msgdispatcher.h"
#include "tarnwick/core/panelrpc/panelconstants.h"
#include "tarnwick/core/panelrpc/panelrpcclient.h"

#include <optional>

namespace PC = Tarnwick::PanelConstants;

PasswdMsg::PasswdMsg(PanelRpcClient* client)
    : m_client(client)
    , m_answerLimitMs(PC::kPasswordAnswerLimitMs)
{
}

PasswdMsg::~PasswdMsg()
{
    MsgDispatcher::removePendingWait(this);
}

void PasswdMsg::Run()
{
    {
        QMutexLocker lock(&m_answerLock);
        m_password.clear();
        m_mode = kModeCheck;
    }
    // Registered before the request goes out, so that a quit at any moment
    // finds the wait; refused once the application is quitting.
    const bool mayWait = MsgDispatcher::addPendingWait(this, [this] { SetPasswd(std::string(), kModeCancel); });
    emit GetPasswd();
    if (!mayWait)
        SetPasswd(std::string(), kModeCancel);
    if (!m_answered.tryAcquire(1, m_answerLimitMs)) {
        qWarning("PasswdMsg: no password given within %d ms: taken as a cancel", m_answerLimitMs);
        QMutexLocker lock(&m_answerLock);
        m_mode = kModeCancel;
    }
    MsgDispatcher::removePendingWait(this);

    std::string password;
    int mode = kModeCancel;
    {
        QMutexLocker lock(&m_answerLock);
        password = m_password;
        mode = m_mode;
    }

    if (mode != kModeCheck) {
        if (m_client)
            m_client->disconnect();
        emit Complete(false, PC::textCancelled());
        return;
    }
    const std::optional<bool> accepted = m_client ? m_client->projectPasswordAccepted(password) : std::optional<bool>();
    if (accepted.value_or(false)) {
        emit Complete(true, PC::textConnected());
        return;
    }
    if (m_client)
        m_client->disconnect();
    // Only the panel's own "no" is a wrong password; a check that got no
    // answer (its limit passed while the connection stood, or it broke) is not.
    emit Complete(false, accepted ? PC::textWrongPassword() : PC::textNetworkTimeout());
}

void PasswdMsg::SetPasswd(std::string password, int mode)
{
    {
        QMutexLocker lock(&m_answerLock);
        m_password = std::move(password);
        m_mode = mode;
    }
    m_answered.release();
}
