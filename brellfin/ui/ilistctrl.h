#pragma once

// The panel-side file list as the dialog and the other controls see it.

#include <QString>

#include <string>

using CString = QString;

class IListCtrl {
public:
    virtual ~IListCtrl() = default;
    // Image list, the four columns (StringId::ListColumnName and the three after it) and the first filling.
    virtual void initList() = 0;
    // Makes path the current panel folder and lists it again.
    virtual void setCurrentPath(const CString& path) = 0;
    // The current panel folder in UTF-8.
    virtual std::string currentPath() = 0;
    virtual void deleteAllItems() = 0;
    // True while a panel-to-PC batch of this list is under way.
    virtual bool isTransferring() = 0;
};
