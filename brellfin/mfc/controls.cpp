#include "brellfin/mfc/controls.h"

#include "brellfin/mfc/combostyle.h"
#include "brellfin/mfc/resources.h"

#include <QRegularExpressionValidator>
#include <QTabBar>

BOOL CCmdTarget::PreTranslateMessage(MSG*)
{
    return FALSE;
}

BOOL CCmdTarget::OnCommand(WPARAM, LPARAM)
{
    return FALSE;
}

BOOL CCmdTarget::OnNotify(int, int, int, int)
{
    return FALSE;
}

int GetDlgCtrlID(const QWidget* window)
{
    return window ? window->property("dlgCtrlId").toInt() : 0;
}

CButton::CButton(QWidget* parent)
    : QPushButton(parent)
{
    setAutoDefault(false);
    setDefault(false);
    QObject::connect(this, &QPushButton::clicked, this, [this] { OnClicked(); });
}

void CButton::OnClicked()
{
    for (QWidget* up = parentWidget(); up; up = up->parentWidget()) {
        if (auto* target = dynamic_cast<CCmdTarget*>(up)) {
            target->OnCommand(static_cast<WPARAM>(GetDlgCtrlID(this)), 0);
            return;
        }
    }
}

CEdit::CEdit(QWidget* parent)
    : QLineEdit(parent)
{
}

void CEdit::SetSel(int start, int end, bool)
{
    if (start == -1 && end == -1) {
        setCursorPosition(text().size());
        return;
    }
    if (start < 0 || end < 0)
        end = text().size();
    setSelection(start, end - start);
}

CStatic::CStatic(QWidget* parent)
    : QLabel(parent)
{
}

void CStatic::SetBitmap(UINT id)
{
    m_bitmap = id;
    if (id == 0) {
        clear();
        return;
    }
    setPixmap(Mfc::loadBitmap(id));
}

CComboBox::CComboBox(QWidget* parent)
    : QComboBox(parent)
{
    setStyle(Mfc::ComboStyle::instance());
    // activated comes from the user only; code's setCurrentIndex does not raise it.
    QObject::connect(this, QOverload<int>::of(&QComboBox::activated), this, [this](int) { OnSelChange(); });
}

int CComboBox::AddString(const CString& text)
{
    addItem(text);
    return count() - 1;
}

int CComboBox::SetCurSel(int index)
{
    const QSignalBlocker blocker(this);
    setCurrentIndex(index);
    return currentIndex();
}

CIPAddressCtrl::CIPAddressCtrl(QWidget* parent)
    : QLineEdit(parent)
{
    setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9.]{0,15}")), this));
}

CTabCtrl::CTabCtrl(QWidget* parent)
    : QWidget(parent)
    , m_bar(new QTabBar(this))
{
    m_bar->setDrawBase(true);
    // Each tab as wide as its text, as the platform's tabs are.
    m_bar->setExpanding(false);
    QObject::connect(m_bar, &QTabBar::currentChanged, this, [this](int) { OnSelChange(); });
}

int CTabCtrl::InsertItem(int index, const CString& text)
{
    const QSignalBlocker blocker(m_bar);
    return m_bar->insertTab(index, text);
}

int CTabCtrl::GetCurSel() const
{
    return m_bar->currentIndex();
}

int CTabCtrl::SetCurSel(int index)
{
    const int previous = m_bar->currentIndex();
    const QSignalBlocker blocker(m_bar);
    m_bar->setCurrentIndex(index);
    return previous;
}

int CTabCtrl::GetItemCount() const
{
    return m_bar->count();
}

void CTabCtrl::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_bar->setGeometry(0, 0, width(), m_bar->sizeHint().height());
}
