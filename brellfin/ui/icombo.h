#pragma once

// The connection type combo and the remote root combo. No destructor: the
// combos are only ever destroyed as members of the dialog.

#include <QString>

using CString = QString;

class ICombo {
public:
    // Selects the entry that the settings file names.
    virtual void loadFromIni(CString iniPath) = 0;
    // The type combo: true for "tcp"; the root combo: always true.
    virtual bool getState() = 0;

protected:
    ~ICombo() = default;
};
