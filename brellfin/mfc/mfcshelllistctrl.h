#pragma once

// The shell list: one folder of the shell namespace in a report list, listed
// synchronously (name, size, type, date modified), folders first.

#include "brellfin/mfc/listctrl.h"
#include "brellfin/mfc/shellnamespace.h"

#include <vector>

class CMFCShellListCtrl : public CListCtrl {
public:
    explicit CMFCShellListCtrl(QWidget* parent = nullptr);

    // Shows a file-system folder; E_FAIL when it is none.
    HRESULT DisplayFolder(const CString& path);
    HRESULT DisplayFolder(const Mfc::ShellLocation& location);
    // E_FAIL at Desktop, where nothing changes.
    HRESULT DisplayParentFolder();
    // The current folder's file-system path; FALSE (and empty) for a virtual one.
    BOOL GetCurrentFolder(CString& path) const;
    BOOL GetCurrentFolderName(CString& name) const;
    // The path of row's item; FALSE (and empty) for a virtual item.
    BOOL GetItemPath(CString& path, int row) const;
    const Mfc::ShellEntry* entryAt(int row) const;
    const Mfc::ShellLocation& currentLocation() const { return m_location; }
    // Lists the current folder again.
    void Refresh();

    // The shell list shows the desktop as soon as it takes its dialog item's place.
    void PreSubclassWindow() override;

protected:
    // Sets up the columns; called once before the first listing.
    virtual void OnSetColumns();

private:
    void fill();

    Mfc::ShellLocation m_location = Mfc::ShellNamespace::desktop();
    std::vector<Mfc::ShellEntry> m_entries;
    bool m_columnsSet = false;
};
