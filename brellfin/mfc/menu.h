#pragma once

// Popup menus from menu resources, nested popups included: entries greyed or
// enabled by command (at any depth) or by position, shown at a screen point;
// the chosen command, from whatever depth, goes to the owner's OnCommand.

#include "brellfin/mfc/cmdtarget.h"
#include "brellfin/mfc/resources.h"

#include <memory>
#include <vector>

class QMenu;
class QWidget;

namespace Mfc {
struct MenuCallEntry;
}

class CMenu {
public:
    CMenu() = default;
    BOOL LoadMenu(UINT id);
    // The nested popup at position, owned by this menu; nullptr for a command.
    CMenu* GetSubMenu(int position);
    int GetMenuItemCount() const;
    // MF_BYCOMMAND (searching nested popups too) or MF_BYPOSITION, with
    // MF_ENABLED or MF_GRAYED; the previous state, -1 when absent.
    int EnableMenuItem(UINT item, UINT flags);
    // The command is present and neither it nor a popup holding it is grey.
    bool isItemEnabled(UINT command) const;
    // Shows the popup; the chosen command is sent to owner. TRUE when one was chosen.
    BOOL TrackPopupMenu(UINT flags, int x, int y, CCmdTarget* owner, QWidget* ownerWindow = nullptr);
    BOOL DestroyMenu();

private:
    struct Item {
        UINT command = 0;
        QString text;
        bool grayed = false;
        std::unique_ptr<CMenu> popup;
    };

    void fill(const std::vector<Mfc::MenuEntry>& entries);
    Item* findCommand(UINT command);
    std::vector<Mfc::MenuCallEntry> callEntries() const;
    void addTo(QMenu& menu) const;

    std::vector<Item> m_items;
};
