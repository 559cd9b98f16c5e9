#include "brellfin/dialog/winpathbtn.h"

#include "brellfin/dialog/brellfinresources.h"
#include "brellfin/dialog/idialogcontrols.h"
#include "brellfin/dialog/remotepaths.h"
#include "brellfin/ui/iedit.h"
#include "brellfin/ui/localizedstring.h"

using BrellfinUi::StringId;

void WinPathBtn::OnClicked()
{
    WinShellList* list = m_pMgr->localList();
    const HRESULT result = list->goUp();
    const CString desktop = loadLocalizedString(StringId::Desktop);
    CString text;
    if (result == E_FAIL || list->currentFolderName().compare(desktop, Qt::CaseInsensitive) == 0) {
        text = desktop;
    } else {
        text = QString::fromStdString(list->currentPathUtf8());
        if (text.isEmpty())
            text = list->currentFolderName();
    }
    m_pMgr->localPathEdit()->setPath(text);
    ::SetWindowText(m_pMgr->dlgItem(BrellfinUi::kIdLocalFrame), shortenForDisplay(list->currentFolderName()));
}
