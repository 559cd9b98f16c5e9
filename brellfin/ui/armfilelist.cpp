#include "brellfin/ui/armfilelist.h"

#include "brellfin/service/fileserviceclient.h"
#include "brellfin/ui/localizedstring.h"
#include "brellfin/ui/sharedtexts.h"
#include "brellfin/ui/transinfotab.h"

ArmFileList::ArmFileList(IDataSynchronisMgr* owner) : m_owner(owner) {}

void ArmFileList::initList()
{
    SetExtendedStyle(GetExtendedStyle() | LVS_EX_FULLROWSELECT);
    const int w = std::max(width(), 100);
    InsertColumn(0, loadLocalizedString(151), LVCFMT_LEFT, 5 * w / 12);
    InsertColumn(1, loadLocalizedString(152), LVCFMT_RIGHT, 2 * w / 12);
    InsertColumn(2, loadLocalizedString(153), LVCFMT_LEFT, 2 * w / 12);
    InsertColumn(3, loadLocalizedString(154), LVCFMT_LEFT, 3 * w / 12);
}

void ArmFileList::setCurrentPath(const CString& path)
{
    m_currentPath = path.toStdString();
    const std::string usb = g_usbRoot.toStdString();
    if (m_currentPath.compare(0, usb.size(), usb) == 0) {
        // The mount folder: "/media/usb0" of "/media/usb0/a/b".
        const size_t slash = m_currentPath.find('/', usb.size());
        m_rootPath = m_currentPath.substr(0, slash);
    } else {
        m_rootPath = g_userDirRoot.toStdString();
    }
    DeleteAllItems();
    FileServiceClient* service = m_owner->fileService();
    std::vector<std::string> folders;
    std::vector<std::string> files;
    if (!service->searchFolders(m_currentPath, folders) || !service->searchFiles(m_currentPath, files))
        return;
    for (const std::string& name : folders) {
        const int row = InsertItem(GetItemCount(), QString::fromStdString(name));
        SetItemText(row, 2, loadLocalizedString(109));
    }
    for (const std::string& name : files) {
        const int row = InsertItem(GetItemCount(), QString::fromStdString(name));
        SetItemText(row, 2, loadLocalizedString(108));
    }
}

std::string ArmFileList::currentPath()
{
    return m_currentPath;
}

void ArmFileList::deleteAllItems()
{
    DeleteAllItems();
}

void ArmFileList::cancelTransfers()
{
    m_owner->fileService()->cancelTransfers();
}

void ArmFileList::removeTransfers(const std::vector<int>&)
{
    m_owner->transInfoTab()->clearQueue();
    m_transferring = false;
}
