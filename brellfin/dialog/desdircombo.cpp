#include "brellfin/dialog/desdircombo.h"

#include "brellfin/dialog/brellfinresources.h"
#include "brellfin/dialog/idialogcontrols.h"
#include "brellfin/dialog/settingsfile.h"
#include "brellfin/profile/profilefile.h"
#include "brellfin/service/fileserviceclient.h"
#include "brellfin/ui/iedit.h"
#include "brellfin/ui/sharedtexts.h"

using namespace BrellfinUi;

void DesDirCombo::loadFromIni(CString)
{
    const CString path =
        ProfileFile::readString(m_pMgr->iniFilePath(), kSectionPath, kKeyCurPath, kDefaultCurPath).left(kValueChars);
    SetCurSel(path.contains(g_userDirRoot) ? 0 : 1);
}

void DesDirCombo::OnSelChange()
{
    QWidget* frame = m_pMgr->dlgItem(kIdRemoteFrame);
    if (GetCurSel() == 0) {
        m_pMgr->remoteList()->setCurrentPath(g_userDirRoot);
        ::SetWindowText(frame, g_userAreaTitle);
        ProfileFile::writeString(m_pMgr->iniFilePath(), kSectionPath, kKeyCurPath, g_userDirRoot);
    } else {
        const CString usb = QString::fromStdString(m_pMgr->fileService()->getEnvPath(kExportDirVariable));
        if (!usb.isEmpty()) {
            ::SetWindowText(frame, g_usbTitle);
            m_pMgr->remoteList()->setCurrentPath(usb);
            ProfileFile::writeString(m_pMgr->iniFilePath(), kSectionPath, kKeyCurPath, usb);
        } else {
            ::SetWindowText(frame, g_userAreaTitle);
        }
    }
    m_pMgr->remotePathEdit()->setPath(g_rootPath);
}
