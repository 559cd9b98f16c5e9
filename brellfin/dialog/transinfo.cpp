#include "brellfin/dialog/transinfo.h"

#include "brellfin/dialog/brellfinresources.h"
#include "brellfin/mfc/menu.h"
#include "brellfin/mfc/messagebox.h"
#include "brellfin/ui/localizedstring.h"

#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScrollBar>
#include <QTextCursor>

using namespace BrellfinUi;

CustomEdit::CustomEdit(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

CString CustomEdit::logText() const
{
    CString text = toPlainText();
    text.replace('\n', QStringLiteral("\r\n"));
    return text;
}

void CustomEdit::appendLine(const CString& line)
{
    // One paragraph more: the same text as rewriting the whole log with
    // "\r\n" and the line, without copying the whole log each time.
    if (document()->isEmpty())
        setPlainText(line);
    else
        appendPlainText(line);
    m_lastLinePending = true;
    if (isVisible())
        showLastLine();
}

void CustomEdit::showLastLine()
{
    // A hidden box has no layout to scroll by: the last line is brought into
    // view when the box is shown (showEvent).
    if (!isVisible())
        return;
    m_lastLinePending = false;
    QTextCursor end = textCursor();
    end.movePosition(QTextCursor::End);
    setTextCursor(end);
    ensureCursorVisible();
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void CustomEdit::showEvent(QShowEvent* event)
{
    QPlainTextEdit::showEvent(event);
    if (m_lastLinePending)
        showLastLine();
}

void CustomEdit::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    if (m_lastLinePending)
        showLastLine();
}

void CustomEdit::contextMenuEvent(QContextMenuEvent* event)
{
    showContextMenu(event->globalPos());
}

void CustomEdit::showContextMenu(const QPoint& screenPos)
{
    CMenu menu;
    if (!menu.LoadMenu(kLogMenu))
        return;
    menu.GetSubMenu(0)->TrackPopupMenu(TPM_LEFTALIGN, screenPos.x(), screenPos.y(), this, this);
    menu.DestroyMenu();
}

BOOL CustomEdit::OnCommand(WPARAM wParam, LPARAM)
{
    switch (static_cast<unsigned>(wParam)) {
    case kCmdExport: onExport(); return TRUE;
    case kCmdEmpty: onEmpty(); return TRUE;
    default: return FALSE;
    }
}

void CustomEdit::onEmpty()
{
    if (MessageBox(this, loadLocalizedString(130), loadLocalizedString(131), MB_YESNO | MB_ICONQUESTION) == IDYES)
        clear();
}

void CustomEdit::onExport()
{
    const QString folder = QDir(programFolder()).filePath(QStringLiteral("TransInfoExport"));
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("TransInfo.txt"));
    if (QFileInfo::exists(path)) {
        if (MessageBox(this, QStringLiteral("TransInfo.txt ") + loadLocalizedString(166), loadLocalizedString(126),
                       MB_YESNO | MB_ICONQUESTION)
            != IDYES)
            return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        // Nothing is written; the user learns why.
        MessageBox(this, loadLocalizedString(129), loadLocalizedString(125), MB_OK | MB_ICONWARNING);
        return;
    }
    const CString text = logText();
    if (text.isEmpty()) {
        file.close();
        MessageBox(this, path + loadLocalizedString(127), loadLocalizedString(125), MB_OK);
        return;
    }
    QByteArray bytes("\xEF\xBB\xBF");
    bytes += text.toUtf8();
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    if (!written) {
        MessageBox(this, loadLocalizedString(129), loadLocalizedString(125), MB_OK | MB_ICONWARNING);
        return;
    }
    MessageBox(this, loadLocalizedString(128), loadLocalizedString(125), MB_OK);
}

TransInfo::TransInfo()
    : CDialogEx(kLogPage)
{
    registerResources();
}

void TransInfo::DoDataExchange()
{
    SubclassDlgItem(kIdLog, &m_edit);
}

BOOL TransInfo::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    m_edit.setPlainText(loadLocalizedString(132) + QStringLiteral(" ") + loadLocalizedString(194));
    return TRUE;
}

void TransInfo::appendLog(const CString& text)
{
    m_edit.appendLine(QDateTime::currentDateTime().toString(QStringLiteral("[yyyy/MM/dd HH:mm:ss]    ")) + text);
}
