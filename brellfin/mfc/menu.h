// Popup menus from menu resources: entries greyed or enabled by command,
// shown at a screen point; the chosen command goes to the owner's OnCommand.
#pragma once

#include "brellfin/mfc/cmdtarget.h"
#include "brellfin/mfc/resources.h"

#include <memory>
#include <vector>

class CMenu {
public:
    CMenu() = default;
    BOOL LoadMenu(UINT id);
    // The popup at position, owned by this menu.
    CMenu* GetSubMenu(int position);
    // MF_ENABLED or MF_GRAYED (by command); the previous state, -1 when absent.
    int EnableMenuItem(UINT command, UINT flags);
    bool isItemEnabled(UINT command) const;
    // Shows the popup; the chosen command is sent to owner. TRUE when one was chosen.
    BOOL TrackPopupMenu(UINT flags, int x, int y, CCmdTarget* owner, QWidget* ownerWindow = nullptr);
    BOOL DestroyMenu();

private:
    std::vector<Mfc::MenuEntry> m_entries;
    std::vector<std::unique_ptr<CMenu>> m_popups;
};
