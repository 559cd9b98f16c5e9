#pragma once

#include "quillet/dialogs/quilletdialog.h"

#include <QString>

#include <memory>
#include <string>
#include <unordered_set>

class Ui_VirtualPortEditor;

// Lets the user pick the COM number of the virtual pair's user end: COM1 to
// COM254, the names in use marked and not selectable, the current one marked.
class VirtualPortEditor : public QuilletDialog {
    Q_OBJECT
public:
    static constexpr int kLastPort = 254;

    explicit VirtualPortEditor(QWidget* parent = nullptr);
    ~VirtualPortEditor() override;

    void setPorts(std::unordered_set<std::string> used, const std::string& current);
    // "COM" and the chosen item's number.
    QString port() const;
    Ui_VirtualPortEditor* form() const { return ui.get(); }

private:
    std::unique_ptr<Ui_VirtualPortEditor> ui;
    std::unordered_set<std::string> m_used;
};
