#include "brellfin/mfc/testhooks.h"

namespace Mfc {

namespace {

MessageBoxAnswerer g_messageBox;
ModalAnswerer g_modal;
MenuAnswerer g_menu;

const MenuCallEntry* findIn(const std::vector<MenuCallEntry>& entries, UINT command)
{
    for (const MenuCallEntry& entry : entries) {
        if (!entry.popup.empty()) {
            if (const MenuCallEntry* found = findIn(entry.popup, command))
                return found;
        } else if (entry.command == command) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace

const MenuCallEntry* MenuCall::find(UINT command) const
{
    return findIn(entries, command);
}

void setMessageBoxAnswerer(MessageBoxAnswerer answerer)
{
    g_messageBox = std::move(answerer);
}
void setModalAnswerer(ModalAnswerer answerer)
{
    g_modal = std::move(answerer);
}
void setMenuAnswerer(MenuAnswerer answerer)
{
    g_menu = std::move(answerer);
}

const MessageBoxAnswerer& messageBoxAnswerer()
{
    return g_messageBox;
}
const ModalAnswerer& modalAnswerer()
{
    return g_modal;
}
const MenuAnswerer& menuAnswerer()
{
    return g_menu;
}

ScopedHooks::~ScopedHooks()
{
    g_messageBox = nullptr;
    g_modal = nullptr;
    g_menu = nullptr;
}

} // namespace Mfc
