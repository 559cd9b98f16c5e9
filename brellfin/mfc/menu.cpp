#include "brellfin/mfc/menu.h"

#include "brellfin/mfc/testhooks.h"

#include <QMenu>

BOOL CMenu::LoadMenu(UINT id)
{
    const auto menu = Mfc::loadMenu(id);
    if (!menu)
        return FALSE;
    m_popups.clear();
    for (const auto& popup : *menu) {
        auto sub = std::make_unique<CMenu>();
        sub->m_entries = popup;
        m_popups.push_back(std::move(sub));
    }
    return TRUE;
}

CMenu* CMenu::GetSubMenu(int position)
{
    if (position < 0 || position >= static_cast<int>(m_popups.size()))
        return nullptr;
    return m_popups[static_cast<size_t>(position)].get();
}

int CMenu::EnableMenuItem(UINT command, UINT flags)
{
    for (Mfc::MenuEntry& entry : m_entries) {
        if (entry.command == command) {
            const int previous = entry.grayed ? static_cast<int>(MF_GRAYED) : static_cast<int>(MF_ENABLED);
            entry.grayed = (flags & (MF_GRAYED | MF_DISABLED)) != 0;
            return previous;
        }
    }
    return -1;
}

bool CMenu::isItemEnabled(UINT command) const
{
    for (const Mfc::MenuEntry& entry : m_entries)
        if (entry.command == command)
            return !entry.grayed;
    return false;
}

BOOL CMenu::TrackPopupMenu(UINT, int x, int y, CCmdTarget* owner, QWidget* ownerWindow)
{
    UINT chosen = 0;
    if (const auto& answerer = Mfc::menuAnswerer()) {
        Mfc::MenuCall call;
        call.position = QPoint(x, y);
        for (const Mfc::MenuEntry& entry : m_entries)
            call.entries.push_back(Mfc::MenuCallEntry{entry.command, entry.text, !entry.grayed});
        chosen = answerer(call);
        // A greyed entry cannot be chosen.
        if (chosen != 0 && !isItemEnabled(chosen))
            chosen = 0;
    } else {
        QMenu menu(ownerWindow);
        for (const Mfc::MenuEntry& entry : m_entries) {
            QAction* action = menu.addAction(entry.text);
            action->setEnabled(!entry.grayed);
            action->setData(entry.command);
        }
        if (QAction* action = menu.exec(QPoint(x, y)))
            chosen = action->data().toUInt();
    }
    if (chosen == 0)
        return FALSE;
    if (owner)
        owner->OnCommand(chosen, 0);
    return TRUE;
}

BOOL CMenu::DestroyMenu()
{
    m_entries.clear();
    m_popups.clear();
    return TRUE;
}
