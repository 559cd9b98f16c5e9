#include "brellfin/dialog/armpathedit.h"

#include "brellfin/dialog/brellfinresources.h"
#include "brellfin/dialog/idialogcontrols.h"
#include "brellfin/dialog/remotepaths.h"
#include "brellfin/mfc/messagebox.h"
#include "brellfin/service/fileserviceclient.h"
#include "brellfin/ui/localizedstring.h"
#include "brellfin/ui/sharedtexts.h"

#include <optional>

using BrellfinUi::StringId;

BOOL ArmPathEdit::PreTranslateMessage(MSG* msg)
{
    if (msg->message != WM_KEYDOWN || msg->wParam != VK_RETURN)
        return CEdit::PreTranslateMessage(msg);
    if (msg->hwnd != this) {
        SetSel(-1, -1);
        return TRUE;
    }
    CString text = this->text();
    while (text.endsWith('/'))
        text.chop(1);
    text += '/';
    if (!text.startsWith(g_userAreaTitle) && !text.startsWith('/'))
        return refuse(StringId::PathMustStartWithUserDir);
    if (!isValidRemotePath(text))
        return refuse(StringId::PathMustBeAbsolute);
    ArmFileList* list = m_pMgr->remoteList();
    const CString current = QString::fromStdString(list->currentPath());
    const CString rootText = QString::fromStdString(list->rootPathUtf8());
    const CString root = current.startsWith(g_usbRoot) ? rootText : g_userDirRoot;
    if (!text.startsWith('/'))
        return refuse(StringId::RemoteFolderNotShown);
    CString path = root + text;
    FileServiceClient* service = m_pMgr->fileService();
    const std::optional<bool> exists = service->checkFileOrFolder(path.toStdString());
    if (!exists) {
        // Not "no such folder": the panel did not answer.
        const CString text = uncheckedPathText(path.left(path.size() - 1));
        m_pMgr->transInfoTab()->appendLog(text);
        return refuse(text);
    }
    if (!*exists)
        return refuse(StringId::RemoteFolderNotShown);
    service->isFile(path.toStdString());
    path.chop(1);
    setText(toShownPath(path));
    ::SetWindowText(m_pMgr->dlgItem(BrellfinUi::kIdRemoteFrame), folderTitle(path, rootText));
    list->setCurrentPath(path);
    setCursorPosition(this->text().size());
    return TRUE;
}

BOOL ArmPathEdit::refuse(StringId stringId)
{
    return refuse(loadLocalizedString(stringId));
}

BOOL ArmPathEdit::refuse(const CString& text)
{
    MessageBox(window(), text, loadLocalizedString(StringId::Error), MB_OK | MB_ICONWARNING);
    setText(toShownPath(QString::fromStdString(m_pMgr->remoteList()->currentPath())));
    SetSel(-1, -1);
    return FALSE;
}
