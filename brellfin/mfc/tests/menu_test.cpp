// Menus with nested popups: the shape a resource gives, greying by command at
// any depth and by position, and commands chosen inside a nested popup
// reaching the owner like those of the popup itself.
#include "brellfin/mfc/menu.h"

#include "brellfin/mfc/resources.h"
#include "brellfin/mfc/testhooks.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QTimer>

#include <vector>

namespace {

constexpr UINT kNested = 9101;

// One popup: "a" 200, "b" 201 (grey), "more" { "c" 202, "deeper" { "d" 203 (grey) } }.
void registerNestedMenu()
{
    Mfc::registerMenu(kNested, [] {
        Mfc::MenuEntry deeper{0, QStringLiteral("deeper"), false, {Mfc::MenuEntry{203, QStringLiteral("d"), true}}};
        Mfc::MenuEntry more{
            0, QStringLiteral("more"), false, {Mfc::MenuEntry{202, QStringLiteral("c"), false}, deeper}};
        return Mfc::MenuTemplate{
            {Mfc::MenuEntry{200, QStringLiteral("a"), false}, Mfc::MenuEntry{201, QStringLiteral("b"), true}, more}};
    });
}

class Owner : public CCmdTarget {
public:
    BOOL OnCommand(WPARAM wParam, LPARAM) override
    {
        commands.push_back(UINT(wParam));
        return TRUE;
    }
    std::vector<UINT> commands;
};

class MfcMenu : public ::testing::Test {
protected:
    void SetUp() override
    {
        registerNestedMenu();
        ASSERT_TRUE(m_menu.LoadMenu(kNested));
        m_popup = m_menu.GetSubMenu(0);
        ASSERT_NE(m_popup, nullptr);
        Mfc::setMenuAnswerer([this](const Mfc::MenuCall& call) {
            m_calls.push_back(call);
            return m_answer;
        });
    }

    Mfc::ScopedHooks m_hooks;
    CMenu m_menu;
    CMenu* m_popup = nullptr;
    std::vector<Mfc::MenuCall> m_calls;
    UINT m_answer = 0;
    Owner m_owner;
};

TEST_F(MfcMenu, NestedPopupsKeepTheResourcesShape)
{
    EXPECT_EQ(m_menu.GetMenuItemCount(), 1);
    ASSERT_EQ(m_popup->GetMenuItemCount(), 3);
    EXPECT_EQ(m_popup->GetSubMenu(0), nullptr);
    CMenu* more = m_popup->GetSubMenu(2);
    ASSERT_NE(more, nullptr);
    ASSERT_EQ(more->GetMenuItemCount(), 2);
    CMenu* deeper = more->GetSubMenu(1);
    ASSERT_NE(deeper, nullptr);
    EXPECT_EQ(deeper->GetMenuItemCount(), 1);

    m_popup->TrackPopupMenu(TPM_LEFTALIGN, 3, 4, &m_owner);
    ASSERT_EQ(m_calls.size(), 1u);
    EXPECT_EQ(m_calls[0].position, QPoint(3, 4));
    const auto& entries = m_calls[0].entries;
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[2].text, "more");
    EXPECT_EQ(entries[2].command, 0u);
    ASSERT_EQ(entries[2].popup.size(), 2u);
    EXPECT_EQ(entries[2].popup[0].text, "c");
    EXPECT_EQ(entries[2].popup[0].command, 202u);
    EXPECT_TRUE(entries[2].popup[0].enabled);
    ASSERT_EQ(entries[2].popup[1].popup.size(), 1u);
    EXPECT_EQ(entries[2].popup[1].popup[0].command, 203u);
    EXPECT_FALSE(entries[2].popup[1].popup[0].enabled);
    ASSERT_NE(m_calls[0].find(203), nullptr);
    EXPECT_EQ(m_calls[0].find(203)->text, "d");
    EXPECT_EQ(m_calls[0].find(999), nullptr);
}

TEST_F(MfcMenu, ACommandFromANestedPopupReachesTheOwner)
{
    m_answer = 202;
    EXPECT_TRUE(m_popup->TrackPopupMenu(TPM_LEFTALIGN, 0, 0, &m_owner));
    ASSERT_EQ(m_owner.commands, std::vector<UINT>{202});
    // Greyed at depth two: refused until enabled by command from the top.
    m_answer = 203;
    EXPECT_FALSE(m_popup->TrackPopupMenu(TPM_LEFTALIGN, 0, 0, &m_owner));
    EXPECT_EQ(m_owner.commands.size(), 1u);
    EXPECT_EQ(m_popup->EnableMenuItem(203, MF_BYCOMMAND | MF_ENABLED), static_cast<int>(MF_GRAYED));
    EXPECT_TRUE(m_popup->isItemEnabled(203));
    EXPECT_TRUE(m_popup->TrackPopupMenu(TPM_LEFTALIGN, 0, 0, &m_owner));
    EXPECT_EQ(m_owner.commands, (std::vector<UINT>{202, 203}));
    EXPECT_TRUE(m_calls.back().find(203)->enabled);
    // A command the menu does not hold is never sent.
    m_answer = 999;
    EXPECT_FALSE(m_popup->TrackPopupMenu(TPM_LEFTALIGN, 0, 0, &m_owner));
    EXPECT_EQ(m_owner.commands.size(), 2u);
}

TEST_F(MfcMenu, GreyingByCommandReachesNestedEntriesAndAGreyPopupHoldsItsEntriesBack)
{
    EXPECT_EQ(m_popup->EnableMenuItem(202, MF_BYCOMMAND | MF_GRAYED), static_cast<int>(MF_ENABLED));
    EXPECT_FALSE(m_popup->isItemEnabled(202));
    EXPECT_EQ(m_popup->EnableMenuItem(999, MF_GRAYED), -1);
    m_popup->EnableMenuItem(202, MF_ENABLED);
    // "more" by position: its entries cannot be chosen while it is grey.
    EXPECT_EQ(m_popup->EnableMenuItem(2, MF_BYPOSITION | MF_GRAYED), static_cast<int>(MF_ENABLED));
    EXPECT_EQ(m_popup->EnableMenuItem(7, MF_BYPOSITION | MF_GRAYED), -1);
    EXPECT_FALSE(m_popup->isItemEnabled(202));
    m_answer = 202;
    EXPECT_FALSE(m_popup->TrackPopupMenu(TPM_LEFTALIGN, 0, 0, &m_owner));
    ASSERT_EQ(m_calls.size(), 1u);
    EXPECT_FALSE(m_calls[0].entries[2].enabled);
    EXPECT_TRUE(m_calls[0].entries[2].popup[0].enabled);
    m_popup->EnableMenuItem(2, MF_BYPOSITION | MF_ENABLED);
    EXPECT_TRUE(m_popup->TrackPopupMenu(TPM_LEFTALIGN, 0, 0, &m_owner));
    EXPECT_EQ(m_owner.commands, std::vector<UINT>{202});
}

// Without a hook the popup is a real menu: a choice made inside its nested
// popup with the keyboard comes back as that entry's command.
TEST(MfcMenuShown, AChoiceInsideANestedQtMenuIsTheCommandSent)
{
    registerNestedMenu();
    CMenu menu;
    ASSERT_TRUE(menu.LoadMenu(kNested));
    Owner owner;
    bool opened = false;
    QTimer::singleShot(0, [&] {
        auto* top = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!top || top->actions().size() != 3)
            return;
        QAction* more = top->actions()[2];
        if (!more->menu())
            return;
        top->setActiveAction(more);
        QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
        QApplication::sendEvent(top, &right);
        QMenu* sub = more->menu();
        if (!sub->isVisible() || sub->actions().empty())
            return;
        opened = true;
        sub->setActiveAction(sub->actions()[0]);
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(sub, &enter);
    });
    // Whatever happened above, the menu closes.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        while (QWidget* popup = QApplication::activePopupWidget())
            popup->close();
    });
    closer.start(5000);
    EXPECT_TRUE(menu.GetSubMenu(0)->TrackPopupMenu(TPM_LEFTALIGN, 10, 10, &owner));
    EXPECT_TRUE(opened);
    EXPECT_EQ(owner.commands, std::vector<UINT>{202});
}

} // namespace
