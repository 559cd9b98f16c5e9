#pragma once

// The small modal dialog in which the user types the VNC password.

#include <QDialog>

class QLineEdit;
class QPushButton;

class VncPasswordDialog : public QDialog {
    Q_OBJECT

public:
    explicit VncPasswordDialog(QWidget* parent = nullptr);
    QString password() const;

private slots:
    void okBtnClicked();
    void cancelBtnClicked();
    void _screenChanged(QRect rc);

private:
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
};
