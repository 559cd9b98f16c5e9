#include "brellfin/mfc/menu.h"

#include "brellfin/mfc/testhooks.h"

#include <QMenu>

BOOL CMenu::LoadMenu(UINT id)
{
    const auto menu = Mfc::loadMenu(id);
    if (!menu)
        return FALSE;
    // The resource itself is the bar; each of its popups is an entry of it.
    m_items.clear();
    for (const auto& popup : *menu) {
        Item item;
        item.popup = std::make_unique<CMenu>();
        item.popup->fill(popup);
        m_items.push_back(std::move(item));
    }
    return TRUE;
}

void CMenu::fill(const std::vector<Mfc::MenuEntry>& entries)
{
    m_items.clear();
    for (const Mfc::MenuEntry& entry : entries) {
        Item item;
        item.text = entry.text;
        item.grayed = entry.grayed;
        if (entry.popup.empty()) {
            item.command = entry.command;
        } else {
            item.popup = std::make_unique<CMenu>();
            item.popup->fill(entry.popup);
        }
        m_items.push_back(std::move(item));
    }
}

CMenu* CMenu::GetSubMenu(int position)
{
    if (position < 0 || position >= static_cast<int>(m_items.size()))
        return nullptr;
    return m_items[static_cast<size_t>(position)].popup.get();
}

int CMenu::GetMenuItemCount() const
{
    return static_cast<int>(m_items.size());
}

CMenu::Item* CMenu::findCommand(UINT command)
{
    for (Item& item : m_items) {
        if (item.popup) {
            if (Item* found = item.popup->findCommand(command))
                return found;
        } else if (item.command == command) {
            return &item;
        }
    }
    return nullptr;
}

int CMenu::EnableMenuItem(UINT which, UINT flags)
{
    Item* item = nullptr;
    if (flags & MF_BYPOSITION) {
        if (which < m_items.size())
            item = &m_items[which];
    } else {
        item = findCommand(which);
    }
    if (!item)
        return -1;
    const int previous = item->grayed ? static_cast<int>(MF_GRAYED) : static_cast<int>(MF_ENABLED);
    item->grayed = (flags & (MF_GRAYED | MF_DISABLED)) != 0;
    return previous;
}

bool CMenu::isItemEnabled(UINT command) const
{
    for (const Item& item : m_items) {
        if (item.popup) {
            // A grey popup does not open, so nothing in it can be chosen.
            if (!item.grayed && item.popup->isItemEnabled(command))
                return true;
        } else if (item.command == command) {
            return !item.grayed;
        }
    }
    return false;
}

std::vector<Mfc::MenuCallEntry> CMenu::callEntries() const
{
    std::vector<Mfc::MenuCallEntry> entries;
    for (const Item& item : m_items) {
        Mfc::MenuCallEntry entry;
        entry.command = item.command;
        entry.text = item.text;
        entry.enabled = !item.grayed;
        if (item.popup)
            entry.popup = item.popup->callEntries();
        entries.push_back(std::move(entry));
    }
    return entries;
}

void CMenu::addTo(QMenu& menu) const
{
    for (const Item& item : m_items) {
        if (item.popup) {
            QMenu* sub = menu.addMenu(item.text);
            sub->setEnabled(!item.grayed);
            item.popup->addTo(*sub);
        } else {
            QAction* action = menu.addAction(item.text);
            action->setEnabled(!item.grayed);
            action->setData(item.command);
        }
    }
}

BOOL CMenu::TrackPopupMenu(UINT, int x, int y, CCmdTarget* owner, QWidget* ownerWindow)
{
    UINT chosen = 0;
    if (const auto& answerer = Mfc::menuAnswerer()) {
        Mfc::MenuCall call;
        call.position = QPoint(x, y);
        call.entries = callEntries();
        chosen = answerer(call);
    } else {
        QMenu menu(ownerWindow);
        addTo(menu);
        // exec answers the action chosen in the popup or in any nested one.
        if (QAction* action = menu.exec(QPoint(x, y)))
            chosen = action->data().toUInt();
    }
    // A greyed entry, or one absent from this menu, cannot be chosen.
    if (chosen == 0 || !isItemEnabled(chosen))
        return FALSE;
    if (owner)
        owner->OnCommand(chosen, 0);
    return TRUE;
}

BOOL CMenu::DestroyMenu()
{
    m_items.clear();
    return TRUE;
}
