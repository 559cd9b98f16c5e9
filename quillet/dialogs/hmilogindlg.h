#pragma once

#include "quillet/dialogs/quilletdialog.h"

#include <QString>

#include <memory>

class Ui_HmiLoginDlg;

// Asks for the panel project's password; ends accepted only through its
// login button, which keeps the text first.
class HmiLoginDlg : public QuilletDialog {
    Q_OBJECT
public:
    explicit HmiLoginDlg(QWidget* parent = nullptr);
    ~HmiLoginDlg() override;

    QString password() const { return m_password; }
    Ui_HmiLoginDlg* form() const { return ui.get(); }

public slots:
    void UpdatePasswd();

private:
    std::unique_ptr<Ui_HmiLoginDlg> ui;
    QString m_password;
};
