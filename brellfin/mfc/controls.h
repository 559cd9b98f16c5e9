#pragma once

// The control classes of the stand-in window layer: Qt widgets that keep the
// names and calls of the Windows controls that the tool's classes derive from.

#include "brellfin/mfc/cmdtarget.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

class QTabBar;

// A push button; a click runs OnClicked (the reflected BN_CLICKED), which by
// default sends the button's id to its dialog as a command. Never a default
// button: Enter does not press it.
class CButton : public QPushButton, public CCmdTarget {
public:
    explicit CButton(QWidget* parent = nullptr);
    void SetWindowText(const CString& text) { setText(text); }
    CString GetWindowText() const { return text(); }

protected:
    virtual void OnClicked();
};

// A single-line edit.
class CEdit : public QLineEdit, public CCmdTarget {
public:
    explicit CEdit(QWidget* parent = nullptr);
    void SetWindowText(const CString& text) { setText(text); }
    void GetWindowText(CString& text) const { text = this->text(); }
    CString GetWindowText() const { return text(); }
    // Selects from start to end; (-1, -1) puts the caret at the end.
    void SetSel(int start, int end, bool noScroll = false);
    int GetLineCount() const { return 1; }
};

// A static text or picture.
class CStatic : public QLabel, public CCmdTarget {
public:
    explicit CStatic(QWidget* parent = nullptr);
    // Shows bitmap resource id; 0 clears the picture.
    void SetBitmap(UINT id);
    UINT GetBitmapId() const { return m_bitmap; }

private:
    UINT m_bitmap = 0;
};

// A drop-down list. OnSelChange (CBN_SELCHANGE) runs only when the user
// chooses an entry, never when code selects one.
class CComboBox : public QComboBox, public CCmdTarget {
public:
    explicit CComboBox(QWidget* parent = nullptr);
    int AddString(const CString& text);
    int GetCurSel() const { return currentIndex(); }
    int SetCurSel(int index);
    int GetCount() const { return count(); }

protected:
    virtual void OnSelChange() {}
};

// The IPv4 address control: digits and dots only.
class CIPAddressCtrl : public QLineEdit, public CCmdTarget {
public:
    explicit CIPAddressCtrl(QWidget* parent = nullptr);
    void SetWindowText(const CString& text) { setText(text); }
    CString GetWindowText() const { return text(); }
    bool IsBlank() const { return text().isEmpty(); }
};

// A tab control: a row of tabs at the top; the pages are the caller's
// children of this control. OnSelChange (TCN_SELCHANGE) follows a change of tab.
class CTabCtrl : public QWidget, public CCmdTarget {
public:
    explicit CTabCtrl(QWidget* parent = nullptr);
    int InsertItem(int index, const CString& text);
    int GetCurSel() const;
    int SetCurSel(int index);
    int GetItemCount() const;
    QTabBar* tabBar() const { return m_bar; }

protected:
    virtual void OnSelChange() {}
    void resizeEvent(QResizeEvent* event) override;

private:
    QTabBar* m_bar;
};
