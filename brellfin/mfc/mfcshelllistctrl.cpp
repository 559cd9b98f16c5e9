#include "brellfin/mfc/mfcshelllistctrl.h"

#include "brellfin/mfc/shellicons.h"

#include <QFileInfo>
#include <QLocale>

#include <map>

CMFCShellListCtrl::CMFCShellListCtrl(QWidget* parent)
    : CListCtrl(parent)
{
}

HRESULT CMFCShellListCtrl::DisplayFolder(const CString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isDir())
        return E_FAIL;
    return DisplayFolder(Mfc::ShellNamespace::folder(path));
}

HRESULT CMFCShellListCtrl::DisplayFolder(const Mfc::ShellLocation& location)
{
    if (location.kind == Mfc::ShellLocation::Kind::Folder && !QFileInfo(location.path).isDir())
        return E_FAIL;
    m_location = location;
    fill();
    return S_OK;
}

HRESULT CMFCShellListCtrl::DisplayParentFolder()
{
    const auto up = Mfc::ShellNamespace::parent(m_location);
    if (!up)
        return E_FAIL;
    return DisplayFolder(*up);
}

BOOL CMFCShellListCtrl::GetCurrentFolder(CString& path) const
{
    switch (m_location.kind) {
    case Mfc::ShellLocation::Kind::Desktop: path = Mfc::ShellNamespace::desktopPath(); return TRUE;
    case Mfc::ShellLocation::Kind::Computer: path.clear(); return FALSE;
    case Mfc::ShellLocation::Kind::Folder: path = m_location.path; return TRUE;
    }
    return FALSE;
}

BOOL CMFCShellListCtrl::GetCurrentFolderName(CString& name) const
{
    name = Mfc::ShellNamespace::displayName(m_location);
    return TRUE;
}

BOOL CMFCShellListCtrl::GetItemPath(CString& path, int row) const
{
    const Mfc::ShellEntry* entry = entryAt(row);
    path = entry ? entry->path : CString();
    return !path.isEmpty();
}

const Mfc::ShellEntry* CMFCShellListCtrl::entryAt(int row) const
{
    if (row < 0 || row >= GetItemCount())
        return nullptr;
    const auto index = static_cast<size_t>(GetItemData(row));
    return index < m_entries.size() ? &m_entries[index] : nullptr;
}

void CMFCShellListCtrl::PreSubclassWindow()
{
    DisplayFolder(Mfc::ShellNamespace::desktop());
}

void CMFCShellListCtrl::Refresh()
{
    fill();
}

void CMFCShellListCtrl::OnSetColumns()
{
    InsertColumn(0, QStringLiteral("Name"), LVCFMT_LEFT, 200);
    InsertColumn(1, QStringLiteral("Size"), LVCFMT_RIGHT, 80);
    InsertColumn(2, QStringLiteral("Type"), LVCFMT_LEFT, 100);
    InsertColumn(3, QStringLiteral("Date modified"), LVCFMT_LEFT, 140);
}

void CMFCShellListCtrl::fill()
{
    if (!m_columnsSet) {
        m_columnsSet = true;
        OnSetColumns();
    }
    DeleteAllItems();
    m_entries = Mfc::ShellNamespace::children(m_location);
    // The image list holds one icon per kind of entry shown.
    std::vector<QIcon> images;
    std::map<QString, int> imageOf;
    std::vector<int> rowImages;
    for (const Mfc::ShellEntry& entry : m_entries) {
        const QString key = Mfc::ShellIcons::keyOf(entry);
        auto found = imageOf.find(key);
        if (found == imageOf.end()) {
            found = imageOf.emplace(key, int(images.size())).first;
            images.push_back(Mfc::ShellIcons::icon(key));
        }
        rowImages.push_back(found->second);
    }
    SetImageList(images);
    const QLocale locale;
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const Mfc::ShellEntry& entry = m_entries[i];
        const int row = InsertItem(GetItemCount(), entry.displayName, rowImages[i]);
        SetItemData(row, i);
        if (!entry.isFolder && !entry.isShortcut)
            SetItemText(row, 1, locale.toString((entry.size + 1023) / 1024) + QStringLiteral(" KB"));
        SetItemText(row, 2, entry.typeText);
        if (entry.modified.isValid())
            SetItemText(row, 3, entry.modified.toString(QStringLiteral("yyyy/MM/dd hh:mm")));
    }
}
