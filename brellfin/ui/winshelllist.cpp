#include "brellfin/ui/winshelllist.h"

#include "brellfin/service/fileserviceclient.h"
#include "brellfin/ui/localizedstring.h"
#include "brellfin/ui/transinfotab.h"

WinShellList::WinShellList(IDataSynchronisMgr* owner)
    : m_owner(owner), m_currentPath(Mfc::ShellNamespace::desktopPath())
{
}

void WinShellList::OnSetColumns()
{
    while (GetColumnCount() > 0)
        DeleteColumn(0);
    SetExtendedStyle(GetExtendedStyle() | LVS_EX_FULLROWSELECT);
    const int w = std::max(width(), 100);
    InsertColumn(0, loadLocalizedString(151), LVCFMT_LEFT, 5 * w / 12);
    InsertColumn(1, loadLocalizedString(152), LVCFMT_RIGHT, 2 * w / 12);
    InsertColumn(2, loadLocalizedString(153), LVCFMT_LEFT, 2 * w / 12);
    InsertColumn(3, loadLocalizedString(154), LVCFMT_LEFT, 3 * w / 12);
}

void WinShellList::navigateTo(const CString& path)
{
    m_currentPath = path;
    DisplayFolder(path);
}

HRESULT WinShellList::goUp()
{
    const HRESULT result = DisplayParentFolder();
    CString folder;
    GetCurrentFolder(folder);
    while (folder.size() > 1 && folder.endsWith('/'))
        folder.chop(1);
    m_currentPath = folder;
    return result;
}

CString WinShellList::currentFolderName()
{
    CString name;
    GetCurrentFolderName(name);
    return name;
}

std::string WinShellList::currentPathUtf8()
{
    if (!m_currentPath.isEmpty() && !m_currentPath.endsWith('/'))
        m_currentPath += '/';
    return m_currentPath.toStdString();
}

void WinShellList::pauseTransfers()
{
    m_owner->fileService()->cancelTransfers();
}

void WinShellList::removeTransfers(const std::vector<int>&)
{
    m_owner->transInfoTab()->clearQueue();
    m_transferring = false;
}
