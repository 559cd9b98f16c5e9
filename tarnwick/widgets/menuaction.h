#pragma once

// One entry of a MenuItem's popup menu: a widget action shown as an icon and
// a text, reporting its action id when chosen (and nothing while disabled).

#include <QString>
#include <QWidgetAction>

class PixmapLabel;

class MenuAction : public QWidgetAction {
    Q_OBJECT
public:
    MenuAction(int action, bool vertical, QWidget* parent = nullptr);
    MenuAction(int action, const QString& text, bool vertical, QWidget* parent = nullptr);
    MenuAction(int action, const QString& icon, const QString& text, bool vertical, QWidget* parent = nullptr);
    MenuAction(int action, const QString& icon, const QString& disabledIcon, const QString& text, bool vertical,
               QWidget* parent = nullptr);

    void changeText(int action, const QString& text);
    void change(int action, const QString& icon, const QString& text);
    // Greys the entry out: the disabled icon (or, without one, the normal
    // icon) and "#AAAAAA" text; choosing it then reports nothing.
    void setEntryDisabled(bool disabled);

    int actionId() const { return m_action; }
    bool isEntryDisabled() const { return m_disabled; }
    PixmapLabel* label() const { return m_label; }

signals:
    void actioned(int action);

public slots:
    void onTriggered();

private:
    void setUp(const QString& icon, const QString& text, QWidget* parent);

    int m_action = 0;
    bool m_vertical = false;
    PixmapLabel* m_label = nullptr;
    QString m_icon;
    QString m_disabledIcon;
    bool m_disabled = false;
};
