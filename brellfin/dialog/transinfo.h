#pragma once

// The log page of the transfer tab: a read-only text box whose lines are
// time-stamped, with a context menu to export the log to a file or empty it.

#include "brellfin/mfc/dialog.h"

#include <QPlainTextEdit>

// The log box: a read-only multi-line edit. It fills from the top, shows
// whole lines only, and brings the end of the log into view whenever it is
// shown or a line is added. Its context menu offers "export" and "empty".
class CustomEdit : public QPlainTextEdit, public CCmdTarget {
public:
    explicit CustomEdit(QWidget* parent = nullptr);
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    // The whole log, lines joined by "\r\n".
    CString logText() const;
    void showContextMenu(const QPoint& screenPos);
    // Appends one line; while the box is shown the end comes into view.
    void appendLine(const CString& line);
    // Scrolls so that the last line is the lowest one in view, with the
    // whole text above it as far as it fits.
    void showLastLine();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void onExport();
    void onEmpty();
    // The top of the first line in view that the viewport cuts at its
    // bottom, or the viewport's height when none is cut.
    int firstCutLineTop() const;
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
