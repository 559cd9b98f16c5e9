#include "tarnwick/widgets/menuaction.h"

#include "tarnwick/core/screentool.h"
#include "tarnwick/widgets/pixmaplabel.h"
#include "tarnwick/widgets/widgetsconstants.h"

using namespace Tarnwick::Widgets;

MenuAction::MenuAction(int action, bool vertical, QWidget* parent)
    : QWidgetAction(parent)
    , m_action(action)
    , m_vertical(vertical)
{
    setUp(QString(), QString(), parent);
}

MenuAction::MenuAction(int action, const QString& text, bool vertical, QWidget* parent)
    : QWidgetAction(parent)
    , m_action(action)
    , m_vertical(vertical)
{
    setUp(QString(), text, parent);
}

MenuAction::MenuAction(int action, const QString& icon, const QString& text, bool vertical, QWidget* parent)
    : QWidgetAction(parent)
    , m_action(action)
    , m_vertical(vertical)
    , m_icon(icon)
{
    setUp(icon, text, parent);
}

MenuAction::MenuAction(int action, const QString& icon, const QString& disabledIcon, const QString& text, bool vertical,
                       QWidget* parent)
    : QWidgetAction(parent)
    , m_action(action)
    , m_vertical(vertical)
    , m_icon(icon)
    , m_disabledIcon(disabledIcon)
{
    setUp(icon, text, parent);
}

void MenuAction::setUp(const QString& icon, const QString& text, QWidget* parent)
{
    m_label = new PixmapLabel(icon, text, m_vertical, parent);
    connect(this, &QAction::triggered, this, &MenuAction::onTriggered);
    m_label->setObjectName(kMenuActionName);
    m_label->setAttribute(Qt::WA_StyledBackground);
    m_label->setStyleSheet(
        QString::fromLatin1(kMenuActionStyle).arg(ScreenTool::scale(1)).arg(QLatin1String(kMenuActionHoverStyle)));
    m_label->setMinimumWidth(ScreenTool::scale(80));
    m_label->setMinimumHeight(ScreenTool::scale(35));
    setDefaultWidget(m_label);
}

void MenuAction::changeText(int action, const QString& text)
{
    m_action = action;
    m_label->setText(text);
}

void MenuAction::change(int action, const QString& icon, const QString& text)
{
    m_action = action;
    m_label->setText(text);
    m_label->setIcon(icon);
    m_icon = icon;
}

void MenuAction::setEntryDisabled(bool disabled)
{
    m_disabled = disabled;
    if (!m_disabledIcon.isEmpty())
        m_label->setIcon(disabled ? m_disabledIcon : m_icon);
    m_label->setTextColor(QString::fromLatin1(disabled ? kDisabledText : kNormalText));
}

void MenuAction::onTriggered()
{
    if (!m_disabled)
        emit actioned(m_action);
}
