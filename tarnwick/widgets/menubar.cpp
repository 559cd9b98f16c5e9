#include "tarnwick/widgets/menubar.h"

#include "tarnwick/widgets/menuitem.h"

#include <QHBoxLayout>

MenuBar::MenuBar(QWidget* parent)
    : MenuBar(QVector<MenuInfo>(), parent)
{
}

MenuBar::MenuBar(const QVector<MenuInfo>& menus, QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground);
    m_layout = new QHBoxLayout();
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    setLayout(m_layout);
    for (const MenuInfo& info : menus)
        addMenu(info);
}

bool MenuBar::addMenu(const MenuInfo& info)
{
    if (info.name.isEmpty() || info.text.isEmpty() || m_menus.contains(info.name))
        return false;
    auto* item = new MenuItem(info.name, info.text, info.icon, this, false);
    item->setPopupPosition(info.popupPosition);
    item->setFixedMenuWidth(info.fixedMenuWidth);
    item->addEntries(info.actions);
    m_layout->addWidget(item);
    connect(item, &MenuItem::actioned, this, &MenuBar::menuActioned);
    connect(item, &MenuItem::triggered, this, &MenuBar::menuTriggered);
    m_menus.insert(info.name, item);
    return true;
}

MenuItem* MenuBar::menuItem(const QString& name) const
{
    return m_menus.value(name);
}

bool MenuBar::setCurrentEntry(const QString& name, int action)
{
    MenuItem* item = m_menus.value(name);
    return item ? item->setCurrentEntry(action) : false;
}

void MenuBar::setMenuHidden(const QString& name, bool hidden)
{
    if (MenuItem* item = m_menus.value(name))
        item->setHidden(hidden);
}
