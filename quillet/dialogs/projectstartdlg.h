#pragma once

#include "quillet/dialogs/quilletdialog.h"

#include <memory>

class Ui_ProjectStartDlg;

// Asks whether to enter the panel project's run screen.
class ProjectStartDlg : public QuilletDialog {
    Q_OBJECT
public:
    explicit ProjectStartDlg(QWidget* parent = nullptr);
    ~ProjectStartDlg() override;

    Ui_ProjectStartDlg* form() const { return ui.get(); }

private:
    std::unique_ptr<Ui_ProjectStartDlg> ui;
};
