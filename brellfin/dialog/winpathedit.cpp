#include "brellfin/dialog/winpathedit.h"

#include "brellfin/dialog/idialogcontrols.h"
#include "brellfin/mfc/messagebox.h"
#include "brellfin/ui/localizedstring.h"

#include <QFileInfo>

using BrellfinUi::StringId;

void WinPathEdit::initPath()
{
    setText(loadLocalizedString(StringId::Desktop));
}

BOOL WinPathEdit::PreTranslateMessage(MSG* msg)
{
    const bool keyboard = msg->message == WM_KEYDOWN || msg->message == WM_CHAR || msg->message == WM_KEYUP;
    if (!keyboard || msg->wParam != VK_RETURN)
        return CEdit::PreTranslateMessage(msg);
    if (msg->hwnd != this)
        return TRUE;
    WinShellList* list = m_pMgr->localList();
    const CString desktop = loadLocalizedString(StringId::Desktop);
    CString text = this->text().trimmed();
    if (text.compare(desktop, Qt::CaseInsensitive) == 0) {
        list->Refresh();
        SetSel(-1, -1);
        return TRUE;
    }
    const QFileInfo info(text);
    if (!info.exists()) {
        MessageBox(window(), loadLocalizedString(StringId::PathNotFound), loadLocalizedString(StringId::Error),
                   MB_OK | MB_ICONWARNING);
        const CString name = list->currentFolderName();
        if (name.compare(desktop, Qt::CaseInsensitive) == 0) {
            text = desktop;
        } else {
            text = QString::fromStdString(list->currentPathUtf8());
            if (text.isEmpty())
                text = name;
        }
    } else {
        if (!info.isDir())
            text = text.left(text.lastIndexOf('/') + 1);
        list->navigateTo(text);
    }
    setText(text);
    SetSel(-1, -1);
    return TRUE;
}
