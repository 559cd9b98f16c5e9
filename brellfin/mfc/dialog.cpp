#include "brellfin/mfc/dialog.h"

#include "brellfin/mfc/controls.h"
#include "brellfin/mfc/dialogfont.h"
#include "brellfin/mfc/listctrl.h"
#include "brellfin/mfc/resources.h"
#include "brellfin/mfc/testhooks.h"
#include "platform/windowfit/windowfit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimerEvent>

#include <algorithm>
#include <memory>

namespace {

UINT virtualKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Tab: return VK_TAB;
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_End: return VK_END;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    default: break;
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return VK_F1 + static_cast<UINT>(qtKey - Qt::Key_F1);
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return static_cast<UINT>(qtKey);
    return 0;
}

int qtKeyOf(UINT vk)
{
    switch (vk) {
    case VK_RETURN: return Qt::Key_Return;
    case VK_ESCAPE: return Qt::Key_Escape;
    case VK_TAB: return Qt::Key_Tab;
    case VK_BACK: return Qt::Key_Backspace;
    case VK_DELETE: return Qt::Key_Delete;
    case VK_INSERT: return Qt::Key_Insert;
    case VK_SPACE: return Qt::Key_Space;
    case VK_LEFT: return Qt::Key_Left;
    case VK_RIGHT: return Qt::Key_Right;
    case VK_UP: return Qt::Key_Up;
    case VK_DOWN: return Qt::Key_Down;
    case VK_HOME: return Qt::Key_Home;
    case VK_END: return Qt::Key_End;
    case VK_PRIOR: return Qt::Key_PageUp;
    case VK_NEXT: return Qt::Key_PageDown;
    default: break;
    }
    if (vk >= VK_F1 && vk < VK_F1 + 24)
        return Qt::Key_F1 + static_cast<int>(vk - VK_F1);
    return static_cast<int>(vk);
}

// Hands every key press and release inside a dialog to the
// PreTranslateMessage walk, from the window it is for up to its dialog.
class KeyWalk : public QObject {
public:
    using QObject::QObject;

    static void install()
    {
        static QPointer<KeyWalk> instance;
        if (!instance && qApp) {
            instance = new KeyWalk(qApp);
            qApp->installEventFilter(instance);
        }
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (m_synthesizing || (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease))
            return false;
        auto* widget = qobject_cast<QWidget*>(object);
        if (!widget)
            return false;
        auto* dialog = dynamic_cast<CDialog*>(widget->window());
        if (!dialog)
            return false;
        // Qt hands an ignored key event on to the parents; the walk has seen it already.
        if (event == m_lastEvent && m_lastReceiver && m_lastReceiver != widget && widget->isAncestorOf(m_lastReceiver))
            return false;
        m_lastEvent = event;
        m_lastReceiver = widget;

        auto* key = static_cast<QKeyEvent*>(event);
        const UINT vk = virtualKey(key->key());
        const bool press = event->type() == QEvent::KeyPress;
        MSG msg;
        msg.hwnd = widget;
        msg.message = press ? WM_KEYDOWN : WM_KEYUP;
        msg.wParam = vk;
        if (walk(widget, &msg))
            return true;
        if (msg.wParam != vk) {
            // A handler changed the key: the window gets the new one instead.
            QKeyEvent changed(event->type(), qtKeyOf(static_cast<UINT>(msg.wParam)), key->modifiers(),
                              msg.wParam == VK_RETURN ? QStringLiteral("\r") : QString());
            m_synthesizing = true;
            QApplication::sendEvent(widget, &changed);
            m_synthesizing = false;
            return true;
        }
        if (press) {
            const QString text = key->text();
            MSG character;
            character.hwnd = widget;
            character.message = WM_CHAR;
            if (vk == VK_RETURN)
                character.wParam = '\r';
            else if (!text.isEmpty() && text.at(0).isPrint())
                character.wParam = text.at(0).unicode();
            if (character.wParam != 0 && walk(widget, &character))
                return true;
        }
        return false;
    }

private:
    static bool walk(QWidget* from, MSG* msg)
    {
        for (QWidget* window = from; window; window = window->parentWidget()) {
            if (auto* target = dynamic_cast<CCmdTarget*>(window)) {
                if (target->PreTranslateMessage(msg))
                    return true;
            }
            if (window->isWindow())
                break;
        }
        return false;
    }

    bool m_synthesizing = false;
    const QEvent* m_lastEvent = nullptr;
    QPointer<QWidget> m_lastReceiver;
};

QStringList g_commandLine;

// The DPI a template is designed at; a window is never drawn at smaller metrics
// than its template's there.
constexpr int kTemplateDesignDpi = 96;

} // namespace

CDialog::CDialog(UINT templateId, QWidget* parent)
    : QDialog(parent)
    , m_templateId(templateId)
{
    KeyWalk::install();
}

CDialog::~CDialog()
{
    for (auto& [id, timer] : m_timers)
        killTimer(timer);
}

INT_PTR CDialog::DoModal()
{
    m_ended = false;
    m_result = IDCANCEL;
    if (!m_built)
        buildFromTemplate(parentWidget());
    setWindowModality(Qt::ApplicationModal);
    if (!OnInitDialog() && m_ended)
        return m_result;
    if (m_ended)
        return m_result;
    if (const auto& answerer = Mfc::modalAnswerer()) {
        answerer(*this);
        if (!m_ended)
            EndDialog(IDCANCEL);
        return m_result;
    }
    exec();
    return m_result;
}

BOOL CDialog::Create(UINT templateId, QWidget* parent)
{
    m_templateId = templateId;
    m_ended = false;
    if (!m_built)
        buildFromTemplate(parent);
    OnInitDialog();
    return TRUE;
}

void CDialog::EndDialog(int result)
{
    m_result = result;
    m_ended = true;
    for (auto& [id, timer] : m_timers)
        killTimer(timer);
    m_timers.clear();
    QDialog::done(result);
}

QWidget* CDialog::GetDlgItem(int id) const
{
    auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
}

BOOL CDialog::SubclassDlgItem(int id, QWidget* member)
{
    QWidget* found = GetDlgItem(id);
    if (!found || !member || found == member)
        return FALSE;
    {
        // The template's control, whose place member takes: it goes once
        // member holds its state.
        const std::unique_ptr<QWidget> old(found);
        member->setParent(old->parentWidget());
        member->setGeometry(old->geometry());
        member->setProperty("dlgCtrlId", id);
        if (auto* oldCombo = qobject_cast<QComboBox*>(old.get())) {
            if (auto* combo = qobject_cast<QComboBox*>(member)) {
                const QSignalBlocker blocker(combo);
                combo->clear();
                for (int i = 0; i < oldCombo->count(); ++i)
                    combo->addItem(oldCombo->itemText(i));
            }
        }
        if (auto* oldEdit = qobject_cast<QLineEdit*>(old.get())) {
            if (auto* edit = qobject_cast<QLineEdit*>(member)) {
                edit->setReadOnly(oldEdit->isReadOnly());
                edit->setEchoMode(oldEdit->echoMode());
            }
        }
        if (!qobject_cast<QComboBox*>(old.get()))
            ::SetWindowText(member, ::GetWindowText(old.get()));
        member->setEnabled(old->isEnabled());
        member->setVisible(!old->isHidden());
        member->stackUnder(old.get());
        m_items[id] = member;
    }
    if (auto* target = dynamic_cast<CCmdTarget*>(member))
        target->PreSubclassWindow();
    return TRUE;
}

UINT_PTR CDialog::SetTimer(UINT_PTR id, UINT periodMs)
{
    KillTimer(id);
    m_timers[id] = startTimer(static_cast<int>(periodMs));
    return id;
}

BOOL CDialog::KillTimer(UINT_PTR id)
{
    auto it = m_timers.find(id);
    if (it == m_timers.end())
        return FALSE;
    killTimer(it->second);
    m_timers.erase(it);
    return TRUE;
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM)
{
    switch (static_cast<int>(wParam)) {
    case IDOK: OnOK(); return TRUE;
    case IDCANCEL: OnCancel(); return TRUE;
    default: return FALSE;
    }
}

BOOL CDialog::OnInitDialog()
{
    DoDataExchange();
    return TRUE;
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::OnTimer(UINT_PTR) {}

void CDialog::keyPressEvent(QKeyEvent* event)
{
    // Enter presses the default push button (an enabled one); Escape never
    // ends a dialog here.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        if (m_defaultButton != 0 && IsWindowEnabled(GetDlgItem(m_defaultButton)))
            OnCommand(static_cast<WPARAM>(m_defaultButton), 0);
        return;
    case Qt::Key_Escape: event->accept(); return;
    default: QDialog::keyPressEvent(event);
    }
}

void CDialog::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (!m_ended)
        OnCancel();
}

void CDialog::timerEvent(QTimerEvent* event)
{
    for (auto& [id, timer] : m_timers) {
        if (timer == event->timerId()) {
            OnTimer(id);
            return;
        }
    }
    QDialog::timerEvent(event);
}

void CDialog::reject() {}

void CDialog::accept() {}

void CDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    followSize();
}

void CDialog::followSize()
{
    if (!m_resizable)
        return;
    const int dx = width() - m_templatePixels.width();
    const int dy = height() - m_templatePixels.height();
    for (const auto& [id, place] : m_anchored) {
        QWidget* item = GetDlgItem(id);
        if (!item)
            continue;
        const auto& [rect, anchor] = place;
        item->setGeometry(rect.x() + dx * anchor.moveX / 100, rect.y() + dy * anchor.moveY / 100,
                          std::max(1, rect.width() + dx * anchor.sizeX / 100),
                          std::max(1, rect.height() + dy * anchor.sizeY / 100));
    }
}

void CDialog::buildFromTemplate(QWidget* parent)
{
    m_built = true;
    const auto tmpl = Mfc::loadDialog(m_templateId);
    if (!tmpl)
        return;
    if (tmpl->child) {
        setParent(parent, Qt::Widget);
    } else {
        setParent(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                              | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
        setWindowTitle(tmpl->caption);
    }
    setAcceptDrops(tmpl->acceptFiles);
    // The template's size and places are the ones it has on its own platform
    // at the DPI of its metrics; every control is drawn in the font that
    // stands for the template's there, which fits those units. A page takes
    // its dialog's metrics; a window those of its screen where it fits there.
    const auto pixelsAt = [&tmpl](const QRect& units, int dpi) {
        return Mfc::dialogUnitsToPixels(units, Mfc::DialogFont::templateBaseUnits(tmpl->pointSize, dpi));
    };
    const auto sizeAt = [&](const QSize& units, int dpi) { return pixelsAt(QRect(QPoint(0, 0), units), dpi).size(); };
    const auto fits = [](const QSize& size, const QSize& room) {
        return size.width() <= room.width() && size.height() <= room.height();
    };
    // A page, and a window that belongs to another dialog, start from the
    // metrics of that dialog, so that the two look alike.
    int dpi = parentWidget() ? Mfc::templateDpi(parentWidget()) : logicalDpiY();
    QSize room;
    if (!tmpl->child) {
        room = Platform::WindowFit::clientRoom(this);
        for (const int least = std::min(dpi, kTemplateDesignDpi); dpi > least && !fits(sizeAt(tmpl->size, dpi), room);)
            --dpi;
        m_resizable = !fits(sizeAt(tmpl->size, dpi), room);
    }
    m_templateDpi = dpi;
    setFont(Mfc::DialogFont::forTemplate(font(), tmpl->pointSize, dpi));
    m_templatePixels = sizeAt(tmpl->size, dpi);
    // A fixed window narrower than its title needs is widened, within its
    // screen, with its items in the middle: the window manager draws the
    // title in a font of its own, often larger than the template's.
    int titleMargin = 0;
    if (!tmpl->child && !m_resizable) {
        const int titled = std::min(Platform::WindowFit::titleWidth(this), room.width());
        titleMargin = std::max(0, (titled - m_templatePixels.width() + 1) / 2);
    }
    auto pixels = [&](const QRect& units) { return pixelsAt(units, dpi).translated(titleMargin, 0); };
    if (tmpl->child) {
        resize(m_templatePixels);
    } else if (!m_resizable) {
        // A window from a template has a modal frame: no sizing border, no maximising.
        setFixedSize(m_templatePixels + QSize(2 * titleMargin, 0));
    } else {
        // Too large for its screen even at the template's own metrics: the
        // window takes the room there is, and its panes follow.
        setWindowFlag(Qt::WindowMaximizeButtonHint);
        const QSize least = tmpl->minimumSize.isEmpty() ? tmpl->size : tmpl->minimumSize;
        setMinimumSize(sizeAt(least, dpi).boundedTo(room));
        resize(m_templatePixels.boundedTo(room).expandedTo(minimumSize()));
    }

    for (const Mfc::DialogItem& item : tmpl->items) {
        QWidget* widget = nullptr;
        switch (item.kind) {
        case Mfc::ItemKind::Button: {
            auto* button = new CButton(this);
            button->setText(item.text);
            if (item.defaultButton) {
                // Drawn as the default; the Enter itself is ours (keyPressEvent).
                button->setDefault(true);
                m_defaultButton = item.id;
            }
            widget = button;
            break;
        }
        case Mfc::ItemKind::Edit: {
            auto* edit = new CEdit(this);
            edit->setReadOnly(item.readOnly);
            if (item.password)
                edit->setEchoMode(QLineEdit::Password);
            widget = edit;
            break;
        }
        case Mfc::ItemKind::MultiLineEdit: {
            auto* edit = new QPlainTextEdit(this);
            edit->setReadOnly(item.readOnly);
            widget = edit;
            break;
        }
        case Mfc::ItemKind::Static:
            widget = new CStatic(this);
            static_cast<CStatic*>(widget)->setText(item.text);
            break;
        case Mfc::ItemKind::GroupBox: widget = new QGroupBox(item.text, this); break;
        case Mfc::ItemKind::Bitmap: {
            auto* picture = new CStatic(this);
            picture->SetBitmap(static_cast<UINT>(item.bitmap));
            widget = picture;
            break;
        }
        case Mfc::ItemKind::DropDownList: {
            auto* combo = new CComboBox(this);
            for (const QString& entry : item.entries)
                combo->AddString(entry);
            widget = combo;
            break;
        }
        case Mfc::ItemKind::IpAddress: widget = new CIPAddressCtrl(this); break;
        case Mfc::ItemKind::ListView:
        case Mfc::ItemKind::ShellList: widget = new CListCtrl(this); break;
        case Mfc::ItemKind::Tab: widget = new CTabCtrl(this); break;
        }
        widget->setProperty("dlgCtrlId", item.id);
        widget->setGeometry(pixels(item.rect));
        widget->setVisible(!item.hidden);
        if (item.kind == Mfc::ItemKind::GroupBox)
            widget->lower();
        m_items[item.id] = widget;
        if (m_resizable)
            m_anchored[item.id] = {pixels(item.rect), item.anchor};
    }
    followSize();
    if (!tmpl->child)
        Platform::WindowFit::fitAndCentre(this);
}

// Window texts of any kind of control.

void SetWindowText(QWidget* window, const CString& text)
{
    if (!window)
        return;
    if (auto* button = qobject_cast<QAbstractButton*>(window))
        button->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(window))
        edit->setText(text);
    else if (auto* label = qobject_cast<QLabel*>(window))
        label->setText(text);
    else if (auto* group = qobject_cast<QGroupBox*>(window))
        group->setTitle(text);
    else if (auto* multi = qobject_cast<QPlainTextEdit*>(window))
        multi->setPlainText(text);
    else if (auto* combo = qobject_cast<QComboBox*>(window))
        combo->setCurrentText(text);
    else
        window->setWindowTitle(text);
}

CString GetWindowText(const QWidget* window)
{
    if (!window)
        return CString();
    if (auto* button = qobject_cast<const QAbstractButton*>(window))
        return button->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(window))
        return edit->text();
    if (auto* label = qobject_cast<const QLabel*>(window))
        return label->text();
    if (auto* group = qobject_cast<const QGroupBox*>(window))
        return group->title();
    if (auto* multi = qobject_cast<const QPlainTextEdit*>(window))
        return multi->toPlainText();
    if (auto* combo = qobject_cast<const QComboBox*>(window))
        return combo->currentText();
    return window->windowTitle();
}

void EnableWindow(QWidget* window, bool enable)
{
    if (window)
        window->setEnabled(enable);
}

bool IsWindowEnabled(const QWidget* window)
{
    return window && window->isEnabled();
}

void ShowWindow(QWidget* window, int command)
{
    if (window)
        window->setVisible(command != SW_HIDE);
}

BOOL GetCursorPos(QPoint* point)
{
    if (!point)
        return FALSE;
    *point = QCursor::pos();
    return TRUE;
}

namespace Mfc {

int templateDpi(const QWidget* widget)
{
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (const auto* dialog = dynamic_cast<const CDialog*>(w); dialog && dialog->templateDpi() > 0)
            return dialog->templateDpi();
    }
    return widget ? widget->logicalDpiY() : kTemplateDesignDpi;
}

QStringList commandLineArguments()
{
    if (!g_commandLine.isEmpty())
        return g_commandLine;
    return QCoreApplication::arguments();
}

void setCommandLineForTesting(const QStringList& arguments)
{
    g_commandLine = arguments;
}

} // namespace Mfc
