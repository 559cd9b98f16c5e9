#include "tarnwick/widgets/menuitem.h"

#include "tarnwick/core/screentool.h"
#include "tarnwick/widgets/menuaction.h"
#include "tarnwick/widgets/pixmaplabel.h"
#include "tarnwick/widgets/widgetsconstants.h"

#include <QHBoxLayout>
#include <QMenu>
#include <QMouseEvent>

#include <functional>

using namespace Tarnwick::Widgets;

MenuItem::MenuItem(const QString& name, const QString& text, QWidget* parent)
    : QWidget(parent)
    , m_name(name)
{
    m_label = new PixmapLabel(QString(), text, m_vertical, this);
    setUp();
}

MenuItem::MenuItem(const QString& name, const QString& text, const QString& icon, QWidget* parent, bool vertical)
    : QWidget(parent)
    , m_name(name)
    , m_vertical(vertical)
{
    m_label = new PixmapLabel(icon, text, m_vertical, this);
    setUp();
}

MenuItem::MenuItem(const QString& name, const QString& text, const QString& icon, const QString& disabledIcon,
                   QWidget* parent, bool vertical)
    : QWidget(parent)
    , m_name(name)
    , m_vertical(vertical)
    , m_icon(icon)
    , m_disabledIcon(disabledIcon)
{
    m_label = new PixmapLabel(icon, text, m_vertical, this);
    setUp();
}

void MenuItem::setUp()
{
    setAttribute(Qt::WA_StyledBackground);
    setObjectName(kMenuItemName);
    m_menu = new QMenu(this);
    connect(m_menu, &QMenu::aboutToHide, this, &MenuItem::onAboutToHide);
    m_menu->setStyleSheet(kMenuStyle);
    auto* layout = new QHBoxLayout(this);
    layout->setAlignment(Qt::AlignCenter);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_label->setObjectName(kMenuItemLabelName);
    m_label->setIconSize(ScreenTool::scaleSize(m_vertical ? QSize(32, 32) : QSize(16, 16)));
    layout->addWidget(m_label, 0, Qt::AlignHCenter);
    applyHoverStyle(m_hoverColor);
    setMinimumWidth(60);
}

void MenuItem::applyHoverStyle(const QString& color)
{
    const QString shown = (!m_disabled && !color.isEmpty()) ? color : QString::fromLatin1(kTransparent);
    setStyleSheet(QString::fromLatin1(kMenuItemHoverStyle).arg(shown));
}

void MenuItem::setIconSize(const QSize& size)
{
    m_label->setIconSize(size);
}

void MenuItem::setHoverColor(const QString& color)
{
    m_hoverColor = color;
    applyHoverStyle(m_hoverColor);
}

void MenuItem::setEnlargeOnPress(bool enlarge)
{
    m_enlargeOnPress = enlarge;
}

void MenuItem::setItemDisabled(bool disabled)
{
    if (!m_disabledIcon.isEmpty())
        m_label->setIcon(disabled ? m_disabledIcon : m_icon);
    m_disabled = disabled;
    m_label->setTextColor(QString::fromLatin1(disabled ? kDisabledText : kNormalText));
    applyHoverStyle(m_hoverColor);
}

void MenuItem::setText(const QString& text)
{
    m_label->setText(text);
}

void MenuItem::setTextAndIcon(const QString& text, const QString& icon)
{
    m_label->setText(text);
    m_label->setIcon(icon);
    m_icon = icon;
    m_label->setIconVisible(!icon.isEmpty());
}

void MenuItem::setName(const QString& name)
{
    m_name = name;
}

void MenuItem::setPopupPosition(int position)
{
    m_popupPosition = position;
}

void MenuItem::setFixedMenuWidth(bool fixed)
{
    m_fixedMenuWidth = fixed;
}

bool MenuItem::addEntry(int action, const QString& icon, const QString& disabledIcon, const QString& text)
{
    if (m_entries.contains(action))
        return false;
    auto* entry = disabledIcon.isEmpty() ? new MenuAction(action, icon, text, false, this)
                                         : new MenuAction(action, icon, disabledIcon, text, false, this);
    m_menu->addAction(entry);
    connect(entry, &MenuAction::actioned, this, &MenuItem::onActioned);
    m_entries.insert(action, entry);
    return true;
}

bool MenuItem::addEntry(int action, const QString& text)
{
    return addEntry(action, QString(), QString(), text);
}

bool MenuItem::addEntry(int action, const QString& icon, const QString& text)
{
    return addEntry(action, icon, QString(), text);
}

bool MenuItem::addEntries(const QVector<MenuItemInfo>& entries)
{
    for (const MenuItemInfo& info : entries)
        addEntry(info.action, info.icon, info.disabledIcon, info.text);
    return true;
}

bool MenuItem::removeEntry(int action)
{
    MenuAction* entry = m_entries.value(action);
    if (!entry)
        return false;
    disconnect(entry, &MenuAction::actioned, this, &MenuItem::onActioned);
    m_menu->removeAction(entry);
    m_entries.remove(action);
    entry->deleteLater();
    return true;
}

bool MenuItem::rekey(int oldAction, int newAction, const std::function<void(MenuAction*)>& change)
{
    if (newAction != oldAction && m_entries.contains(newAction))
        return false;
    MenuAction* entry = m_entries.value(oldAction);
    if (!entry)
        return false;
    m_entries.remove(oldAction);
    m_entries.insert(newAction, entry);
    change(entry);
    return true;
}

bool MenuItem::changeEntryText(int oldAction, int newAction, const QString& text)
{
    return rekey(oldAction, newAction, [&](MenuAction* entry) { entry->changeText(newAction, text); });
}

bool MenuItem::changeEntry(int oldAction, int newAction, const QString& icon, const QString& text)
{
    return rekey(oldAction, newAction, [&](MenuAction* entry) { entry->change(newAction, icon, text); });
}

void MenuItem::setEntryDisabled(int action, bool disabled)
{
    if (MenuAction* entry = m_entries.value(action))
        entry->setEntryDisabled(disabled);
}

bool MenuItem::setCurrentEntry(int action)
{
    MenuAction* entry = m_entries.value(action);
    if (!entry)
        return false;
    m_menu->setActiveAction(entry);
    m_menu->setDefaultAction(entry);
    return true;
}

void MenuItem::onActioned(int action)
{
    emit actioned(m_name, action);
}

void MenuItem::showMenu()
{
    if (m_menu->actions().isEmpty()) {
        if (!m_disabled)
            emit triggered(m_name);
        return;
    }
    const QPoint p = mapToGlobal(QPoint(0, 0));
    if (m_fixedMenuWidth)
        m_menu->setFixedWidth(width());
    int estimate = 2;
    for (MenuAction* entry : qAsConst(m_entries))
        estimate += m_menu->actionGeometry(entry).height();

    m_menu->popup(p);
    switch (m_popupPosition) {
    case AboveLeft: m_menu->move(p.x(), p.y() - estimate); break;
    case AboveRight: m_menu->move(p.x() + width() - m_menu->width(), p.y() - estimate); break;
    case BelowRight: m_menu->move(p.x() + width() - m_menu->width(), p.y() + height()); break;
    default: m_menu->move(m_menu->x(), p.y() + height()); break;
    }
    // No hover colour while the menu is open; aboutToHide brings it back.
    const QString stored = m_hoverColor;
    applyHoverStyle(QString());
    m_hoverColor = stored;
}

void MenuItem::onAboutToHide()
{
    applyHoverStyle(m_hoverColor);
}

void MenuItem::mousePressEvent(QMouseEvent* event)
{
    m_pressed = false;
    if (!m_disabled && event->button() == Qt::LeftButton && rect().contains(event->localPos().toPoint())) {
        m_pressed = true;
        if (m_enlargeOnPress)
            m_label->setIconEnlarged(true);
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void MenuItem::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_enlargeOnPress)
        m_label->setIconEnlarged(false);
    if (event->button() == Qt::LeftButton && m_pressed && rect().contains(event->localPos().toPoint()))
        showMenu();
    else
        QWidget::mouseReleaseEvent(event);
    m_pressed = false;
}
