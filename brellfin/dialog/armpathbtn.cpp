#include "brellfin/dialog/armpathbtn.h"

#include "brellfin/dialog/brellfinresources.h"
#include "brellfin/dialog/idialogcontrols.h"
#include "brellfin/dialog/remotepaths.h"
#include "brellfin/ui/iedit.h"
#include "brellfin/ui/sharedtexts.h"

void ArmPathBtn::OnClicked()
{
    ArmFileList* list = m_pMgr->remoteList();
    CString cur = QString::fromStdString(list->currentPath());
    const CString rootText = QString::fromStdString(list->rootPathUtf8());
    if (cur.endsWith('/'))
        cur.chop(1);
    IEdit* box = m_pMgr->remotePathEdit();
    if (cur.isEmpty() || cur.compare(g_userDirRoot, Qt::CaseInsensitive) == 0
        || cur.compare(rootText, Qt::CaseInsensitive) == 0) {
        box->setPath(toShownPath(cur));
        return;
    }
    if (cur.contains(g_usbRoot) && !cur.mid(g_usbRoot.size()).contains('/')) {
        box->setPath(toShownPath(cur));
        return;
    }
    const int slash = cur.lastIndexOf('/');
    if (slash < 0)
        return;
    cur = cur.left(slash);
    box->setPath(toShownPath(cur));
    ::SetWindowText(m_pMgr->dlgItem(BrellfinUi::kIdRemoteFrame), folderTitle(cur, rootText));
    list->setCurrentPath(cur);
}
