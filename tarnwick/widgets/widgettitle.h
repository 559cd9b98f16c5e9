#pragma once

// The main window's title bar: logo and title on the left; the settings menu
// and the minimise, maximise and close buttons on the right. It only turns
// clicks into signals; the window does the window handling.

#include <QString>
#include <QWidget>

class WidgetTitle : public QWidget {
    Q_OBJECT
public:
    explicit WidgetTitle(QWidget* parent = nullptr);

    // Shows or hides the settings item.
    void setSettingVisible(bool visible);
    // The maximise button shows the maximise picture (true) or the restore picture (false).
    void setMaxButtonIcon(bool maximisePicture);

signals:
    void onSettingClicked(QString name, int action);
    void onMinimizeClicked();
    void onMaximizeClicked();
    void onClosedClicked();
};
