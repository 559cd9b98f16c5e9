#include "brellfin/dialog/armconnectbtn.h"

#include "brellfin/dialog/brellfinresources.h"
#include "brellfin/dialog/dlgpassword.h"
#include "brellfin/dialog/idialogcontrols.h"
#include "brellfin/dialog/remotepaths.h"
#include "brellfin/dialog/settingsfile.h"
#include "brellfin/mfc/messagebox.h"
#include "brellfin/profile/profilefile.h"
#include "brellfin/service/fileserviceclient.h"
#include "brellfin/ui/icombo.h"
#include "brellfin/ui/iedit.h"
#include "brellfin/ui/iqueueview.h"
#include "brellfin/ui/localizedstring.h"
#include "brellfin/ui/sharedtexts.h"

#include <optional>

using namespace BrellfinUi;

bool ArmConnectBtn::connectOnStart()
{
    onClicked();
    return m_connectOk;
}

void ArmConnectBtn::log(const CString& text)
{
    m_pMgr->transInfoTab()->appendLog(text);
}

void ArmConnectBtn::onClicked()
{
    FileServiceClient* service = m_pMgr->fileService();
    const bool tcp = m_pMgr->connectTypeCombo()->getState();
    const CString type = tcp ? QStringLiteral("tcp") : QStringLiteral("usb");
    const CString address = tcp ? m_pMgr->addressControl()->addressText() : QString::fromLatin1(kUsbAddress);
    const CString iniPath = m_pMgr->iniFilePath();
    const CString remembered =
        ProfileFile::readString(iniPath, kSectionPath, kKeyCurPath, kDefaultCurPath).left(kCurPathChars);
    if (address.isEmpty())
        return;

    if (service->isConnected()) {
        // A running batch ends after its current piece instead of holding
        // the window until the whole batch is through; partial files resume.
        service->cancelTransfers();
        service->disconnect();
        m_pMgr->setConnectState(false, true);
        return;
    }

    SetWindowText(loadLocalizedString(StringId::Connecting));
    // Anything but a dotted quad of 0-255 cannot name a panel: a failed connect.
    if (!isDottedQuad(address)) {
        failConnect(type, address);
        return;
    }
    const FF::Net::Address target(address.toUtf8().constData(), g_fileServicePort.toUInt());
    if (!service->connect(target)) {
        failConnect(type, address);
        return;
    }

    // A question about the password that the panel did not answer (its limit
    // passed, the connection broke) is a failed connect: neither "no password"
    // nor "wrong password".
    const std::optional<bool> protectedProject = service->projectPasswordRequired();
    if (!protectedProject) {
        service->disconnect();
        failConnect(type, address);
        return;
    }
    if (*protectedProject) {
        CDlgPassword dialog(window());
        for (;;) {
            if (dialog.DoModal() != IDOK) {
                service->disconnect();
                SetWindowText(loadLocalizedString(StringId::Connect));
                m_connectOk = false;
                return;
            }
            const QByteArray entered = dialog.password().toLocal8Bit();
            const std::optional<bool> accepted = service->projectPasswordAccepted(
                std::string(entered.constData(), static_cast<size_t>(entered.size())));
            if (!accepted) {
                service->disconnect();
                failConnect(type, address);
                return;
            }
            if (*accepted) {
                log(loadLocalizedString(StringId::PasswordCorrect));
                break;
            }
            MessageBox(window(), loadLocalizedString(StringId::PasswordWrong), loadLocalizedString(StringId::Warning),
                       MB_OK);
            log(loadLocalizedString(StringId::PasswordWrong));
        }
    }

    SetWindowText(loadLocalizedString(StringId::Disconnect));
    m_pMgr->remotePathEdit()->setPath(g_rootPath);
    service->createFolder(remembered.toStdString());
    ArmFileList* list = m_pMgr->remoteList();
    list->setCurrentPath(remembered);
    m_pMgr->destDirCombo()->loadFromIni(iniPath);
    ::SetWindowText(m_pMgr->dlgItem(kIdRemoteFrame),
                    folderTitle(remembered, QString::fromStdString(list->rootPathUtf8())));
    ProfileFile::writeString(iniPath, kSectionIp, kKeyConnectType, type);
    if (tcp) {
        log(address + QStringLiteral(" ") + loadLocalizedString(StringId::ConnectSuccess));
        ProfileFile::writeString(iniPath, kSectionIp, kKeyIpInfo, address);
    } else {
        log(loadLocalizedString(StringId::UsbConnectSuccess));
    }
    m_pMgr->setConnectState(true, true);
}

void ArmConnectBtn::failConnect(const CString& type, const CString& address)
{
    if (type == QLatin1String("tcp"))
        log(address + QStringLiteral(" ") + loadLocalizedString(StringId::ConnectFailed));
    else
        log(loadLocalizedString(StringId::UsbConnectFailed));
    MessageBox(window(), loadLocalizedString(StringId::ConnectFailed), loadLocalizedString(StringId::Warning),
               MB_OK | MB_ICONWARNING);
    SetWindowText(loadLocalizedString(StringId::Connect));
    m_connectOk = false;
}
