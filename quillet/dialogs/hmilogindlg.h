#pragma once

#include "quillet/dialogs/titlebardrag.h"

#include <QDialog>
#include <QString>

#include <memory>

class Ui_HmiLoginDlg;

// Asks for the panel project's password; ends accepted only through its
// login button, which keeps the text first.
class HmiLoginDlg : public QDialog {
    Q_OBJECT
public:
    explicit HmiLoginDlg(QWidget* parent = nullptr);
    ~HmiLoginDlg() override;

    QString password() const { return m_password; }
    Ui_HmiLoginDlg* form() const { return ui.get(); }

signals:
    void MoveWindowSignal(QPoint);

public slots:
    void Move(QPoint delta);
    void UpdatePasswd();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::unique_ptr<Ui_HmiLoginDlg> ui;
    TitleBarDrag m_drag;
    QString m_password;
};
