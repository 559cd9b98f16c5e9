#pragma once

// A clickable icon-and-text item of a bar. A click (press and release on the
// item) pops up its menu of MenuAction entries, or, when it has none, reports
// triggered(name). Every choice arrives as actioned(name, action id).

#include "tarnwick/widgets/menuiteminfo.h"

#include <QMap>
#include <QSize>
#include <QString>
#include <QWidget>

#include <functional>

class MenuAction;
class PixmapLabel;
class QMenu;

class MenuItem : public QWidget {
    Q_OBJECT
public:
    // Where the menu opens relative to the item.
    enum PopupPosition { AboveLeft = 0, AboveRight = 1, BelowLeft = 2, BelowRight = 3 };

    MenuItem(const QString& name, const QString& text, QWidget* parent = nullptr);
    MenuItem(const QString& name, const QString& text, const QString& icon, QWidget* parent, bool vertical);
    MenuItem(const QString& name, const QString& text, const QString& icon, const QString& disabledIcon,
             QWidget* parent, bool vertical);

    void setIconSize(const QSize& size);
    void setHoverColor(const QString& color);
    QString hoverColor() const { return m_hoverColor; }
    void setEnlargeOnPress(bool enlarge);
    void setItemDisabled(bool disabled);
    bool isItemDisabled() const { return m_disabled; }
    void setText(const QString& text);
    void setTextAndIcon(const QString& text, const QString& icon);
    void setName(const QString& name);
    QString name() const { return m_name; }

    void setPopupPosition(int position);
    int popupPosition() const { return m_popupPosition; }
    void setFixedMenuWidth(bool fixed);

    bool addEntry(int action, const QString& icon, const QString& disabledIcon, const QString& text);
    bool addEntry(int action, const QString& text);
    bool addEntry(int action, const QString& icon, const QString& text);
    bool addEntries(const QVector<MenuItemInfo>& entries);
    bool removeEntry(int action);
    bool changeEntryText(int oldAction, int newAction, const QString& text);
    bool changeEntry(int oldAction, int newAction, const QString& icon, const QString& text);
    void setEntryDisabled(int action, bool disabled);
    bool setCurrentEntry(int action);

    QMenu* menu() const { return m_menu; }
    PixmapLabel* label() const { return m_label; }
    MenuAction* entry(int action) const { return m_entries.value(action); }
    QList<int> entryIds() const { return m_entries.keys(); }

signals:
    void actioned(QString name, int action);
    void triggered(QString name);

public slots:
    void showMenu();
    void onActioned(int action);

private slots:
    void onAboutToHide();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setUp();
    void applyHoverStyle(const QString& color);
    bool rekey(int oldAction, int newAction, const std::function<void(MenuAction*)>& change);

    QString m_name;
    bool m_pressed = false;
    int m_popupPosition = AboveLeft;
    bool m_fixedMenuWidth = false;
    bool m_vertical = false;
    QMenu* m_menu = nullptr;
    PixmapLabel* m_label = nullptr;
    bool m_disabled = false;
    bool m_enlargeOnPress = false;
    QString m_icon;
    QString m_disabledIcon;
    QString m_hoverColor;
    QMap<int, MenuAction*> m_entries;
};
