#pragma once

// A row of named menus, each a MenuItem with its own popup menu; choices are
// reported as menuActioned(menu name, action id).

#include "tarnwick/widgets/menuiteminfo.h"

#include <QMap>
#include <QString>
#include <QVector>
#include <QWidget>

class MenuItem;
class QHBoxLayout;

struct MenuInfo {
    QString name;          // the key in the bar; not empty
    QString text;          // visible text; not empty
    int popupPosition = 0; // MenuItem::PopupPosition
    bool fixedMenuWidth = false;
    QString icon;
    QVector<MenuItemInfo> actions;
};

class MenuBar : public QWidget {
    Q_OBJECT
public:
    explicit MenuBar(QWidget* parent = nullptr);
    MenuBar(const QVector<MenuInfo>& menus, QWidget* parent = nullptr);

    bool addMenu(const MenuInfo& info);
    MenuItem* menuItem(const QString& name) const;
    bool setCurrentEntry(const QString& name, int action);
    void setMenuHidden(const QString& name, bool hidden);

signals:
    void menuActioned(QString menu, int action);
    void menuTriggered(QString name);

private:
    QMap<QString, MenuItem*> m_menus;
    QHBoxLayout* m_layout = nullptr;
};
