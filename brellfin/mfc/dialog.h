#pragma once

// A dialog built from a dialog template: its items become Qt widgets at
// their template places, members of the dialog class take over items by id
// (SubclassDlgItem), and it runs modally through DoModal. Enter presses the
// template's default push button, if it has one (its command goes to the
// dialog); otherwise neither Enter nor Escape closes it. The window's close
// button runs OnCancel. Key presses pass the PreTranslateMessage walk first.
//
// A top-level dialog opens centred on its screen (over its parent, if it has
// one) and within the screen's available area, its frame included. Its
// metrics (the font and the dialog units) are those of the screen's DPI; where
// the window would not fit the screen at them, those of the largest lower DPI
// down to the template's own 96 at which it does; where it does not fit even
// then, the window becomes resizable, as large as the screen allows, and its
// items follow its size by their anchors (DialogItem::anchor). A window of a
// fixed size is at least as wide as the window manager's title bar needs for
// its title (Platform::WindowFit::titleWidth), its items in the middle.

#include "brellfin/mfc/cmdtarget.h"
#include "brellfin/mfc/resources.h"

#include <QDialog>

#include <map>
#include <utility>

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
    // The DPI the template's metrics are taken at; 0 before the window is made.
    int templateDpi() const { return m_templateDpi; }

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
    void resizeEvent(QResizeEvent* event) override;
    void reject() override;
    void accept() override;

private:
    void buildFromTemplate(QWidget* parent);
    // Places the items of a resizable window by their anchors.
    void followSize();

    UINT m_templateId;
    // The id of the default push button; 0 for none.
    int m_defaultButton = 0;
    bool m_built = false;
    bool m_ended = false;
    bool m_closing = false;
    int m_result = IDCANCEL;
    std::map<int, QWidget*> m_items;
    int m_templateDpi = 0;
    // A resizable window's items: their places at the template's size, and
    // their anchors.
    bool m_resizable = false;
    QSize m_templatePixels;
    std::map<int, std::pair<QRect, Mfc::DialogItem::Anchor>> m_anchored;
    // Windows timer id -> Qt timer id.
    std::map<UINT_PTR, int> m_timers;
};

// CDialogEx is the same dialog for the layer.
using CDialogEx = CDialog;

namespace Mfc {

// The DPI that the metrics of widget's dialog are taken at (CDialog::templateDpi),
// or the widget's own logical DPI outside a dialog.
int templateDpi(const QWidget* widget);

// The process command line as CommandLineToArgvW splits it: the program
// name first. Tests set another one; an empty list restores the real one.
QStringList commandLineArguments();
void setCommandLineForTesting(const QStringList& arguments);

} // namespace Mfc
