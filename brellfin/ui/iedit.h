#pragma once

// The two path boxes (PC side and panel side).

#include <QString>

using CString = QString;

class IEdit {
public:
    virtual ~IEdit() = default;
    // The PC-side box shows StringId::Desktop ("Desktop"); the panel-side box keeps its text.
    virtual void initPath() = 0;
    virtual void setPath(CString text) = 0;
    virtual void getPath(CString& text) = 0;
};
