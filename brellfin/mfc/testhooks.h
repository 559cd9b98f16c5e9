#pragma once

// Hooks through which tests answer message boxes, modal dialogs and popup
// menus without showing anything. With a hook set, nothing appears on the
// screen and the hook's answer is taken as the user's.

#include "brellfin/mfc/mfcdefs.h"

#include <QPoint>
#include <QString>

#include <functional>
#include <vector>

class CDialog;

namespace Mfc {

struct MessageBoxCall {
    QString text;
    QString caption;
    UINT type = 0;
};

struct MenuCallEntry {
    UINT command = 0;
    QString text;
    bool enabled = false;
    // The entries of a nested popup (command 0).
    std::vector<MenuCallEntry> popup;
};

struct MenuCall {
    std::vector<MenuCallEntry> entries;
    QPoint position;

    // The entry of command at any depth, or nullptr.
    const MenuCallEntry* find(UINT command) const;
};

// Returns IDOK, IDYES, IDNO, ...
using MessageBoxAnswerer = std::function<int(const MessageBoxCall&)>;
// Acts on the dialog, whose window and OnInitDialog are done (set texts,
// call OnOK, EndDialog, ...); a dialog still open afterwards ends with IDCANCEL.
using ModalAnswerer = std::function<void(CDialog&)>;
// Returns the chosen command, or 0 for none.
using MenuAnswerer = std::function<UINT(const MenuCall&)>;

// An empty function removes the hook.
void setMessageBoxAnswerer(MessageBoxAnswerer answerer);
void setModalAnswerer(ModalAnswerer answerer);
void setMenuAnswerer(MenuAnswerer answerer);

const MessageBoxAnswerer& messageBoxAnswerer();
const ModalAnswerer& modalAnswerer();
const MenuAnswerer& menuAnswerer();

// Removes every hook when it goes out of scope.
class ScopedHooks {
public:
    ScopedHooks() = default;
    ~ScopedHooks();
    ScopedHooks(const ScopedHooks&) = delete;
    ScopedHooks& operator=(const ScopedHooks&) = delete;
};

} // namespace Mfc
