#pragma once

// Stands in for the local debugging page in a build that does not have it:
// the calls the main window makes, each doing nothing.

#include <QString>
#include <QWidget>

class LocalPagePlaceholder : public QWidget
{
    Q_OBJECT
public:
    explicit LocalPagePlaceholder(QWidget* parent = nullptr) : QWidget(parent) {}
    void setNetIntf(const QString&) {}
    void cancelRefresh() {}
    void exitPage() {}

signals:
    void exitPageSignal();
    void cancelComplete();
};
