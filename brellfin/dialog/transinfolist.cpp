#include "brellfin/dialog/transinfolist.h"

#include "brellfin/dialog/brellfinresources.h"
#include "brellfin/dialog/idialogcontrols.h"
#include "brellfin/mfc/menu.h"
#include "brellfin/mfc/messagebox.h"
#include "brellfin/ui/localizedstring.h"

#include <QFontMetrics>
#include <QStyle>

#include <algorithm>

using namespace BrellfinUi;

TransInfoList::TransInfoList(TransInfoTab* tab)
    : CDialogEx(kQueuePage)
    , m_tab(tab)
{
    registerResources();
}

void TransInfoList::DoDataExchange()
{
    SubclassDlgItem(kIdQueueList, &m_list);
}

BOOL TransInfoList::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    m_list.SetExtendedStyle(m_list.GetExtendedStyle() | LVS_EX_FULLROWSELECT);
    const std::vector<int> widths = columnWidths(width());
    const std::vector<int> formats{LVCFMT_LEFT, LVCFMT_CENTER, LVCFMT_LEFT, LVCFMT_LEFT, LVCFMT_CENTER, LVCFMT_LEFT};
    for (size_t c = 0; c < widths.size(); ++c)
        m_list.InsertColumn(int(c), loadLocalizedString(kQueueColumnTitleIds[c]), formats[c], widths[c]);
    return TRUE;
}

void TransInfoList::fitColumnsToPage()
{
    const std::vector<int> widths = columnWidths(width());
    for (size_t c = 0; c < widths.size(); ++c)
        m_list.SetColumnWidth(int(c), widths[c]);
}

std::vector<int> TransInfoList::columnWidths(int w) const
{
    std::vector<int> widths{3 * w / 18, w / 18, w / 18, 6 * w / 18, w / 18, 6 * w / 18};
    std::vector<QStringList> texts(6);
    for (size_t c = 0; c < texts.size(); ++c)
        texts[c] << loadLocalizedString(kQueueColumnTitleIds[c]);
    // The words the narrow columns show: error and state words, the
    // progress, the directions.
    for (StringId id : kErrorWordIds)
        texts[1] << loadLocalizedString(id);
    for (StringId id : kStateWordIds)
        texts[1] << loadLocalizedString(id);
    texts[2] << QStringLiteral("100%");
    for (StringId id : kDirectionWordIds)
        texts[4] << loadLocalizedString(id);
    fitColumnWidths(widths, texts);
    return widths;
}

void TransInfoList::fitColumnWidths(std::vector<int>& widths, const std::vector<QStringList>& texts) const
{
    // A column narrower than its title or the words it shows is widened;
    // the two path columns, the widest, give the room.
    const QFontMetrics metrics(m_list.font());
    const int margin = 2 * m_list.style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, &m_list) + 8;
    int needed = 0;
    for (size_t c = 0; c < widths.size(); ++c) {
        int least = 0;
        for (const QString& text : texts[c])
            least = std::max(least, metrics.horizontalAdvance(text) + margin);
        if (c != 3 && c != 5 && widths[c] < least) {
            needed += least - widths[c];
            widths[c] = least;
        }
    }
    const int taken = std::min(needed, std::max(0, widths[3] + widths[5] - 2 * 100));
    widths[3] -= taken / 2;
    widths[5] -= taken - taken / 2;
}

BOOL TransInfoList::OnNotify(int ctrlId, int code, int row, int)
{
    if (ctrlId == kIdQueueList && code == NM_RCLICK) {
        onContextMenu(row);
        return TRUE;
    }
    return FALSE;
}

void TransInfoList::onContextMenu(int row)
{
    m_selection.clear();
    for (int r = 0; r < m_list.GetItemCount(); ++r)
        if (m_list.GetItemState(r, LVIS_SELECTED) & LVIS_SELECTED)
            m_selection.push_back(r);

    CMenu menu;
    if (!menu.LoadMenu(kQueueMenu))
        return;
    CMenu* popup = menu.GetSubMenu(0);
    if (m_list.GetItemCount() > 0)
        popup->EnableMenuItem(kCmdDeleteAll, MF_BYCOMMAND | MF_ENABLED);
    if (!m_selection.empty())
        popup->EnableMenuItem(kCmdDelete, MF_BYCOMMAND | MF_ENABLED);
    if (m_selection.size() == 1 && row >= 0) {
        const CString status = m_list.GetItemText(row, 1);
        if (status.compare(loadLocalizedString(StringId::StatePaused), Qt::CaseInsensitive) == 0)
            popup->EnableMenuItem(kCmdContinue, MF_BYCOMMAND | MF_ENABLED);
        if (status.compare(loadLocalizedString(StringId::StateOngoing), Qt::CaseInsensitive) == 0)
            popup->EnableMenuItem(kCmdPause, MF_BYCOMMAND | MF_ENABLED);
    }
    QPoint at;
    GetCursorPos(&at);
    popup->TrackPopupMenu(TPM_LEFTALIGN, at.x(), at.y(), this, this);
    menu.DestroyMenu();
}

BOOL TransInfoList::OnCommand(WPARAM wParam, LPARAM lParam)
{
    switch (static_cast<unsigned>(wParam)) {
    case kCmdPause: onPause(); return TRUE;
    case kCmdContinue: onContinue(); return TRUE;
    case kCmdDelete: onDelete(); return TRUE;
    case kCmdDeleteAll: onDeleteAll(); return TRUE;
    default: return CDialogEx::OnCommand(wParam, lParam);
    }
}

bool TransInfoList::localBatch() const
{
    return m_tab->mgr()->localList()->isTransferring();
}

bool TransInfoList::remoteBatch() const
{
    return m_tab->mgr()->remoteList()->isTransferring();
}

void TransInfoList::onPause()
{
    m_pendingAction = PendingPause;
    IDialogControls* mgr = m_tab->mgr();
    if (localBatch() && !remoteBatch()) {
        mgr->localList()->pauseTransfers();
        ArmFileList* remote = mgr->remoteList();
        remote->setCurrentPath(QString::fromStdString(remote->currentPath()));
    } else {
        mgr->remoteList()->cancelTransfers();
        mgr->localList()->Refresh();
    }
}

void TransInfoList::onContinue()
{
    m_pendingAction = PendingContinue;
    if (localBatch() && !remoteBatch())
        m_tab->mgr()->localList()->resumeTransfers();
    else
        m_tab->mgr()->remoteList()->resumeTransfers();
}

void TransInfoList::onDelete()
{
    m_pendingAction = PendingDelete;
    const bool local = localBatch();
    const bool remote = remoteBatch();
    if (local && !remote) {
        m_tab->mgr()->localList()->removeTransfers(m_selection);
    } else if (remote && !local) {
        m_tab->mgr()->remoteList()->removeTransfers(m_selection);
    } else {
        // From the last selected row to the first, so the numbers still to go stay valid.
        for (auto it = m_selection.rbegin(); it != m_selection.rend(); ++it)
            m_list.DeleteItem(*it);
        m_pendingAction = PendingNone;
    }
}

void TransInfoList::onDeleteAll()
{
    m_pendingAction = PendingDeleteAll;
    const bool local = localBatch();
    const bool remote = remoteBatch();
    IDialogControls* mgr = m_tab->mgr();
    if (local || remote) {
        if (MessageBox(this, loadLocalizedString(StringId::StopTransferAndDeleteQuestion),
                       loadLocalizedString(StringId::SureToDelete), MB_YESNO | MB_ICONQUESTION)
            != IDYES) {
            m_pendingAction = PendingNone;
            return;
        }
    }
    if (local) {
        mgr->localList()->pauseTransfers();
        ArmFileList* remoteList = mgr->remoteList();
        remoteList->setCurrentPath(QString::fromStdString(remoteList->currentPath()));
    }
    if (remote) {
        mgr->remoteList()->cancelTransfers();
        mgr->localList()->Refresh();
    }
    m_list.DeleteAllItems();
    mgr->localList()->setTransferring(false);
    mgr->remoteList()->setTransferring(false);
    m_pendingAction = PendingNone;
}
