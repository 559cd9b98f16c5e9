#pragma once

// A dialog built from a dialog template: its items become Qt widgets at
// their template places, members of the dialog class take over items by id
// (SubclassDlgItem), and it runs modally through DoModal. Enter presses the
// template's default push button, if it has one (its command goes to the
// dialog); otherwise neither Enter nor Escape closes it. The window's close
// button runs OnCancel. Key presses pass the PreTranslateMessage walk first.

#include "brellfin/mfc/cmdtarget.h"

#include <QDialog>

#include <map>

class CDialog : public QDialog, public CCmdTarget {
public:
    explicit CDialog(UINT templateId, QWidget* parent = nullptr);
    ~CDialog() override;

    // Runs the dialog modally; the result of EndDialog.
    virtual INT_PTR DoModal();
    // Makes the window from the template (a child page when the template
    // says so) and runs OnInitDialog, without a modal loop.
    BOOL Create(UINT templateId, QWidget* parent = nullptr);
    BOOL Create() { return Create(m_templateId, parentWidget()); }
    void EndDialog(int result);
    bool isEnded() const { return m_ended; }
    int endResult() const { return m_result; }

    QWidget* GetDlgItem(int id) const;
    // member takes the place, texts and states of item id.
    BOOL SubclassDlgItem(int id, QWidget* member);
    UINT templateId() const { return m_templateId; }

    void SetWindowText(const CString& text) { setWindowTitle(text); }

    // Timer id fires OnTimer every period ms until KillTimer.
    UINT_PTR SetTimer(UINT_PTR id, UINT periodMs);
    BOOL KillTimer(UINT_PTR id);
    bool hasTimer(UINT_PTR id) const { return m_timers.count(id) != 0; }

    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

protected:
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange() {}
    virtual void OnOK();
    virtual void OnCancel();
    virtual void OnTimer(UINT_PTR id);

    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void reject() override;
    void accept() override;

private:
    void buildFromTemplate(QWidget* parent);

    UINT m_templateId;
    // The id of the default push button; 0 for none.
    int m_defaultButton = 0;
    bool m_built = false;
    bool m_ended = false;
    bool m_closing = false;
    int m_result = IDCANCEL;
    std::map<int, QWidget*> m_items;
    // Windows timer id -> Qt timer id.
    std::map<UINT_PTR, int> m_timers;
};

// CDialogEx is the same dialog for the layer.
using CDialogEx = CDialog;

namespace Mfc {

// The process command line as CommandLineToArgvW splits it: the program
// name first. Tests set another one; an empty list restores the real one.
QStringList commandLineArguments();
void setCommandLineForTesting(const QStringList& arguments);

} // namespace Mfc
