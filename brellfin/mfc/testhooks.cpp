#include "brellfin/mfc/testhooks.h"

namespace Mfc {

namespace {

MessageBoxAnswerer g_messageBox;
ModalAnswerer g_modal;
MenuAnswerer g_menu;

} // namespace

void setMessageBoxAnswerer(MessageBoxAnswerer answerer) { g_messageBox = std::move(answerer); }
void setModalAnswerer(ModalAnswerer answerer) { g_modal = std::move(answerer); }
void setMenuAnswerer(MenuAnswerer answerer) { g_menu = std::move(answerer); }

const MessageBoxAnswerer& messageBoxAnswerer() { return g_messageBox; }
const ModalAnswerer& modalAnswerer() { return g_modal; }
const MenuAnswerer& menuAnswerer() { return g_menu; }

ScopedHooks::~ScopedHooks()
{
    g_messageBox = nullptr;
    g_modal = nullptr;
    g_menu = nullptr;
}

} // namespace Mfc
