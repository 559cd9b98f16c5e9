#pragma once

#include "quillet/dialogs/titlebardrag.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <string>
#include <unordered_set>

class Ui_VirtualPortEditor;

// Lets the user pick the COM number of the virtual pair's user end: COM1 to
// COM254, the names in use marked and not selectable, the current one marked.
class VirtualPortEditor : public QDialog {
    Q_OBJECT
public:
    static constexpr int kLastPort = 254;

    explicit VirtualPortEditor(QWidget* parent = nullptr);
    ~VirtualPortEditor() override;

    void setPorts(std::unordered_set<std::string> used, const std::string& current);
    // "COM" and the chosen item's number.
    QString port() const;
    Ui_VirtualPortEditor* form() const { return ui.get(); }

signals:
    void MoveWindowSignal(QPoint);

public slots:
    void Move(QPoint deltaPos);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::unique_ptr<Ui_VirtualPortEditor> ui;
    TitleBarDrag m_drag;
    std::unordered_set<std::string> m_used;
};
