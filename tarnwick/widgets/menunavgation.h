#pragma once

// A small bar holding one item group with the entries settings, help and
// about; choices arrive as menuActioned("menuSetting", 10/11/12).

#include <QString>
#include <QWidget>

class MenuNavgation : public QWidget {
    Q_OBJECT
public:
    explicit MenuNavgation(QWidget* parent = nullptr);

signals:
    void menuActioned(QString name, int action);
};
