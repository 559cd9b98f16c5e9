#pragma once

// The device pages' toolbar: a row of large icon-over-text items, each known
// by its action id, which the page adds, removes, relabels, re-keys and greys
// out. A click on an item is reported as actioned(group name, action id).

#include "tarnwick/widgets/menuiteminfo.h"

#include <QMap>
#include <QString>
#include <QWidget>

class MenuItem;
class QBoxLayout;

class MenuItemGroup : public QWidget {
    Q_OBJECT
public:
    explicit MenuItemGroup(const QString& name, QWidget* parent = nullptr);

    bool addItem(int action, const QString& icon, const QString& disabledIcon, const QString& text);
    bool addItem(int action, const QString& icon, const QString& text);
    bool addItem(int action, const QString& text);
    bool addItems(const QVector<MenuItemInfo>& items);
    bool removeItem(int action);
    bool changeItemText(int oldAction, int newAction, const QString& text);
    bool changeItem(int oldAction, int newAction, const QString& icon, const QString& text);
    void setItemDisabled(int action, bool disabled);

    QString name() const { return m_name; }
    MenuItem* item(int action) const { return m_items.value(action); }
    QList<int> itemIds() const { return m_items.keys(); }

signals:
    void actioned(QString name, int action);

public slots:
    void onTriggered(QString name);

private:
    QString m_name;
    QBoxLayout* m_layout = nullptr;
    QMap<int, MenuItem*> m_items;
};
