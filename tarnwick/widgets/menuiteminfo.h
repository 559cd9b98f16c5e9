#pragma once

// One menu entry or one item of a group, as pages describe them.

#include <QString>
#include <QVector>

struct MenuItemInfo {
    int action = 0; // unique within one menu or group
    QString text;
    QString icon;         // resource path; may be empty
    QString disabledIcon; // shown while disabled; may be empty
};
