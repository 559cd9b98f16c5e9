#include "tarnwick/widgets/menuitemgroup.h"

#include "tarnwick/core/screentool.h"
#include "tarnwick/widgets/menuitem.h"
#include "tarnwick/widgets/widgetsconstants.h"

#include <QBoxLayout>

using namespace Tarnwick::Widgets;

namespace {

// Moves the item of `oldAction` to `newAction` (its name follows); null when
// there is no such item or another item already has `newAction`.
MenuItem* rekey(QMap<int, MenuItem*>& items, int oldAction, int newAction)
{
    if (newAction != oldAction && items.contains(newAction))
        return nullptr;
    MenuItem* item = items.value(oldAction);
    if (!item)
        return nullptr;
    items.remove(oldAction);
    items.insert(newAction, item);
    item->setName(QString::number(newAction));
    return item;
}

} // namespace

MenuItemGroup::MenuItemGroup(const QString& name, QWidget* parent)
    : QWidget(parent)
    , m_name(name)
{
    setAttribute(Qt::WA_StyledBackground);
    m_layout = new QBoxLayout(QBoxLayout::LeftToRight);
    m_layout->setSpacing(ScreenTool::scale(5));
    m_layout->setContentsMargins(0, 0, 0, 0);
    setLayout(m_layout);
}

bool MenuItemGroup::addItem(int action, const QString& icon, const QString& disabledIcon, const QString& text)
{
    if (m_items.contains(action))
        return false;
    const QString itemName = QString::number(action);
    auto* item = disabledIcon.isEmpty() ? new MenuItem(itemName, text, icon, this, true)
                                        : new MenuItem(itemName, text, icon, disabledIcon, this, true);
    item->setHoverColor(QString::fromLatin1(kGroupItemHover));
    item->setEnlargeOnPress(true);
    connect(item, &MenuItem::triggered, this, &MenuItemGroup::onTriggered);
    m_layout->addWidget(item);
    m_items.insert(action, item);
    return true;
}

bool MenuItemGroup::addItem(int action, const QString& icon, const QString& text)
{
    return addItem(action, icon, QString(), text);
}

bool MenuItemGroup::addItem(int action, const QString& text)
{
    return addItem(action, QString(), QString(), text);
}

bool MenuItemGroup::addItems(const QVector<MenuItemInfo>& items)
{
    for (const MenuItemInfo& info : items)
        addItem(info.action, info.icon, info.disabledIcon, info.text);
    return true;
}

bool MenuItemGroup::removeItem(int action)
{
    MenuItem* item = m_items.value(action);
    if (!item)
        return false;
    disconnect(item, &MenuItem::triggered, this, &MenuItemGroup::onTriggered);
    m_layout->removeWidget(item);
    item->hide();
    item->deleteLater();
    m_items.remove(action);
    return true;
}

bool MenuItemGroup::changeItemText(int oldAction, int newAction, const QString& text)
{
    MenuItem* item = rekey(m_items, oldAction, newAction);
    if (!item)
        return false;
    item->setText(text);
    return true;
}

bool MenuItemGroup::changeItem(int oldAction, int newAction, const QString& icon, const QString& text)
{
    MenuItem* item = rekey(m_items, oldAction, newAction);
    if (!item)
        return false;
    item->setTextAndIcon(text, icon);
    return true;
}

void MenuItemGroup::setItemDisabled(int action, bool disabled)
{
    if (MenuItem* item = m_items.value(action))
        item->setItemDisabled(disabled);
}

void MenuItemGroup::onTriggered(QString name)
{
    emit actioned(m_name, name.toInt());
}
