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
#include <QPainter>
#include <QScrollBar>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

using namespace BrellfinUi;

namespace {

// Pixels between the log box's left edge and its text.
constexpr int kTextIndent = 3;

} // namespace

CustomEdit::CustomEdit(QWidget* parent)
    : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The text starts at the top of the box, and scrolled to the end the box
    // is filled down to its last whole line: no document margin, which the
    // box would also keep free below the last line. A narrow strip in the
    // box's own colour keeps the text off its left edge.
    document()->setDocumentMargin(0);
    setViewportMargins(kTextIndent, 0, 0, 0);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
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
    if (isVisible())
        showLastLine();
}

void CustomEdit::showLastLine()
{
    // A hidden box has no view to scroll: the end is brought into view when
    // it is shown (showEvent).
    if (!isVisible())
        return;
    // Text that arrived while the box was hidden was measured without a view,
    // a range that scrolls the last line up to the top of an empty box.
    // Switching centring on and off measures the range again for the view.
    setCenterOnScroll(true);
    setCenterOnScroll(false);
    QTextCursor end = textCursor();
    end.movePosition(QTextCursor::End);
    setTextCursor(end);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void CustomEdit::showEvent(QShowEvent* event)
{
    QPlainTextEdit::showEvent(event);
    // Shown again with its tab (not the window coming back from the task bar).
    if (!event->spontaneous())
        showLastLine();
}

void CustomEdit::paintEvent(QPaintEvent* event)
{
    QPlainTextEdit::paintEvent(event);
    // A line that does not fit at the bottom is not shown in part: the box
    // stays blank below the last whole line.
    const int cut = firstCutLineTop();
    if (cut >= viewport()->height())
        return;
    QPainter painter(viewport());
    painter.fillRect(QRect(0, cut, viewport()->width(), viewport()->height() - cut), palette().base());
}

int CustomEdit::firstCutLineTop() const
{
    const int height = viewport()->height();
    QPointF offset = contentOffset();
    for (QTextBlock block = firstVisibleBlock(); block.isValid() && offset.y() <= height; block = block.next()) {
        const QTextLayout* layout = block.layout();
        for (int i = 0; layout && i < layout->lineCount(); ++i) {
            const QRectF line = layout->lineAt(i).rect().translated(offset + layout->position());
            if (line.bottom() > height)
                return std::max(0, static_cast<int>(std::floor(line.top())));
        }
        offset.ry() += blockBoundingRect(block).height();
    }
    return height;
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
    if (MessageBox(this, loadLocalizedString(StringId::ClearLogQuestion), loadLocalizedString(StringId::Confirm),
                   MB_YESNO | MB_ICONQUESTION)
        == IDYES)
        clear();
}

void CustomEdit::onExport()
{
    const QString folder = QDir(programFolder()).filePath(QStringLiteral("TransInfoExport"));
    QDir().mkpath(folder);
    const QString path = QDir(folder).filePath(QStringLiteral("TransInfo.txt"));
    if (QFileInfo::exists(path)) {
        if (MessageBox(this,
                       QStringLiteral("TransInfo.txt ") + loadLocalizedString(StringId::FileExistsOverwriteQuestion),
                       loadLocalizedString(StringId::ExportFileExists), MB_YESNO | MB_ICONQUESTION)
            != IDYES)
            return;
    }
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        // Nothing is written; the user learns why.
        MessageBox(this, loadLocalizedString(StringId::FileOpenFailed), loadLocalizedString(StringId::Export),
                   MB_OK | MB_ICONWARNING);
        return;
    }
    const CString text = logText();
    if (text.isEmpty()) {
        file.close();
        MessageBox(this, path + loadLocalizedString(StringId::EmptyFileExported), loadLocalizedString(StringId::Export),
                   MB_OK);
        return;
    }
    QByteArray bytes("\xEF\xBB\xBF");
    bytes += text.toUtf8();
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    file.close();
    if (!written) {
        MessageBox(this, loadLocalizedString(StringId::FileOpenFailed), loadLocalizedString(StringId::Export),
                   MB_OK | MB_ICONWARNING);
        return;
    }
    MessageBox(this, loadLocalizedString(StringId::LogExported), loadLocalizedString(StringId::Export), MB_OK);
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
    m_edit.setPlainText(loadLocalizedString(StringId::WindowTitle) + QStringLiteral(" ")
                        + loadLocalizedString(StringId::Started));
    return TRUE;
}

void TransInfo::appendLog(const CString& text)
{
    m_edit.appendLine(QDateTime::currentDateTime().toString(QStringLiteral("[yyyy/MM/dd HH:mm:ss]    ")) + text);
}
