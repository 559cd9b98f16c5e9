#include "brellfin/dialog/transinfotab.h"

#include "brellfin/mfc/dialog.h"
#include "brellfin/ui/localizedstring.h"
#include "brellfin/ui/sharedtexts.h"

#include <QTabBar>
#include <QThread>

#include <algorithm>
#include <iterator>

using BrellfinUi::StringId;

namespace {

// Runs f on the widget's thread: at once there, queued from any other.
template <typename F>
void onUiThread(QObject* object, F f)
{
    if (QThread::currentThread() == object->thread())
        f();
    else
        QMetaObject::invokeMethod(object, std::move(f), Qt::QueuedConnection);
}

} // namespace

TransInfoTab::TransInfoTab(IDialogControls* mgr)
    : m_pMgr(mgr)
    , m_listPage(this)
{
}

void TransInfoTab::initPages()
{
    InsertItem(0, loadLocalizedString(StringId::TransmissionPage));
    InsertItem(1, loadLocalizedString(StringId::LogPage));
    m_listPage.Create(139, this);
    m_logPage.Create(140, this);
    layoutPages();
    m_listPage.fitColumnsToPage();
    m_listPage.show();
    m_logPage.hide();
}

void TransInfoTab::layoutPages()
{
    // The pages sit below the row of tabs, 22 px down at 96 DPI, their
    // control 4 px narrower than the tab and ending 8 px above its bottom; in
    // proportion at the dialog's metrics, and never over a taller row of tabs.
    const int dpi = Mfc::templateDpi(this);
    auto scaled = [dpi](int pixels) { return (pixels * dpi + 48) / 96; };
    const QRect r(0, 0, width(), height());
    const int top = std::max(scaled(22), tabBar()->sizeHint().height());
    const int width = r.width() - scaled(4);
    for (QWidget* page : {static_cast<QWidget*>(&m_listPage), static_cast<QWidget*>(&m_logPage)})
        page->setGeometry(r.left(), r.top() + top, width, r.height() - top);
    const int controlHeight = r.height() - top - scaled(8);
    m_listPage.list().setGeometry(0, 0, width, controlHeight);
    m_logPage.edit().setGeometry(0, 0, width, controlHeight);
}

void TransInfoTab::resizeEvent(QResizeEvent* event)
{
    CTabCtrl::resizeEvent(event);
    // A resizable dialog's tab follows the window's size, its pages with it.
    if (GetItemCount() > 0)
        layoutPages();
}

void TransInfoTab::appendLog(const CString& text)
{
    onUiThread(this, [this, text] { m_logPage.appendLog(text); });
}

CString TransInfoTab::remotePathCell(const CString& remotePath)
{
    if (remotePath.startsWith(g_userDirRoot))
        return remotePath.mid(g_userDirRoot.size());
    if (remotePath.startsWith(g_usbRoot))
        return remotePath.mid(g_usbRoot.size() + 1);
    return remotePath;
}

void TransInfoTab::addRecords(const std::vector<TransferRecord>& records)
{
    CListCtrl& list = m_listPage.list();
    const int before = list.GetItemCount();
    for (size_t i = 0; i < records.size(); ++i) {
        const TransferRecord& record = records[i];
        const int row = list.InsertItem(before + static_cast<int>(i), record.name);
        const int state = int(record.state);
        list.SetItemText(row, 1, state >= 0 && state < int(std::size(g_stateText)) ? g_stateText[state] : CString());
        list.SetItemText(row, 2, record.progress);
        list.SetItemText(row, 3, record.localPath);
        const int direction = int(record.operation);
        list.SetItemText(row, 4, direction >= 0 && direction < 2 ? g_directionText[direction] : CString());
        list.SetItemText(row, 5, remotePathCell(record.remotePath));
    }
}

void TransInfoTab::setCell(int row, int column, const CString& text)
{
    onUiThread(this, [this, row, column, text] { m_listPage.list().SetItemText(row, column, text); });
}

void TransInfoTab::clearQueue()
{
    m_listPage.list().DeleteAllItems();
}

int TransInfoTab::pendingAction() const
{
    return m_listPage.pendingAction();
}

void TransInfoTab::resetPendingAction()
{
    m_listPage.setPendingAction(PendingNone);
}

void TransInfoTab::OnSelChange()
{
    const bool queue = GetCurSel() == 0;
    m_listPage.setVisible(queue);
    m_logPage.setVisible(!queue);
}
