#pragma once

// The log page of the transfer tab: a read-only text box whose lines are
// time-stamped, with a context menu to export the log to a file or empty it.

#include "brellfin/mfc/dialog.h"

#include <QPlainTextEdit>

// The log box. Its context menu offers "export" and "empty".
class CustomEdit : public QPlainTextEdit, public CCmdTarget {
public:
    explicit CustomEdit(QWidget* parent = nullptr);
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    // The whole log, lines joined by "\r\n".
    CString logText() const;
    void showContextMenu(const QPoint& screenPos);
    // Appends one line and keeps the last line in view: at once while the
    // box is shown, else as soon as it is shown again.
    void appendLine(const CString& line);
    // Scrolls so that the last line is the lowest one in view.
    void showLastLine();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void onExport();
    void onEmpty();

    // Lines arrived that have not been scrolled into view yet.
    bool m_lastLinePending = false;
};

class TransInfo : public CDialogEx {
public:
    TransInfo();
    // Appends one time-stamped line.
    void appendLog(const CString& text);
    CustomEdit& edit() { return m_edit; }

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange() override;

private:
    CustomEdit m_edit;
};
