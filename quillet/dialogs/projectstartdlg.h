#pragma once

#include "quillet/dialogs/titlebardrag.h"

#include <QDialog>

#include <memory>

class Ui_ProjectStartDlg;

// Asks whether to enter the panel project's run screen.
class ProjectStartDlg : public QDialog {
    Q_OBJECT
public:
    explicit ProjectStartDlg(QWidget* parent = nullptr);
    ~ProjectStartDlg() override;

    Ui_ProjectStartDlg* form() const { return ui.get(); }

signals:
    void MoveWindowSignal(QPoint);

public slots:
    void Move(QPoint delta);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::unique_ptr<Ui_ProjectStartDlg> ui;
    TitleBarDrag m_drag;
};
