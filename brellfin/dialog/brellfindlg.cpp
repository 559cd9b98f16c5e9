#include "brellfin/dialog/brellfindlg.h"

#include "brellfin/dialog/brellfinresources.h"
#include "brellfin/dialog/remotepaths.h"
#include "brellfin/dialog/settingsfile.h"
#include "brellfin/ui/localizedstring.h"

#include <QDir>
#include <QGuiApplication>

using namespace BrellfinUi;

namespace {

constexpr UINT_PTR kWatchTimer = 1;
constexpr UINT kWatchPeriodMs = 1000;

} // namespace

CBrellfinDlg::CBrellfinDlg(QWidget* parent)
    : CDialog((registerResources(), kMainDialog), parent)
    , m_localList(this)
    , m_remoteList(this)
    , m_localPathEdit(this)
    , m_localUpBtn(this)
    , m_remotePathEdit(this)
    , m_remoteUpBtn(this)
    , m_connectBtn(this)
    , m_addressCtrl(this)
    , m_transInfoTab(this)
    , m_connectTypeCombo(this)
    , m_destDirCombo(this)
{
    // While the window waits for the panel it says so. Qt's xcb platform
    // sends a cursor change to the X server at once, so the wait cursor shows
    // although this thread then blocks in the call.
    m_fileService.setWaitHook([](bool waiting) {
        if (waiting)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QGuiApplication::restoreOverrideCursor();
    });
}

CBrellfinDlg::~CBrellfinDlg()
{
    releaseSession();
}

void CBrellfinDlg::releaseSession()
{
    KillTimer(kWatchTimer);
    m_fileService.cancelTransfers();
    m_fileService.disconnect();
}

void CBrellfinDlg::OnCancel()
{
    // The window leaves the screen first: nothing that the session's end
    // waits for keeps it there. The transfer threads report into the lists
    // and the queue: they end before the controls go.
    hide();
    releaseSession();
    CDialog::OnCancel();
}

void CBrellfinDlg::DoDataExchange()
{
    SubclassDlgItem(kIdLocalList, &m_localList);
    SubclassDlgItem(kIdVertBar, &m_vertBar);
    SubclassDlgItem(kIdHorzBar, &m_horzBar);
    SubclassDlgItem(kIdStatusPicture, &m_statusPicture);
}

BOOL CBrellfinDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetWindowText(loadLocalizedString(StringId::WindowTitle));

    SubclassDlgItem(kIdLocalPath, &m_localPathEdit);
    SubclassDlgItem(kIdLocalUp, &m_localUpBtn);
    SubclassDlgItem(kIdRemoteList, &m_remoteList);
    SubclassDlgItem(kIdRemotePath, &m_remotePathEdit);
    SubclassDlgItem(kIdRemoteUp, &m_remoteUpBtn);
    SubclassDlgItem(kIdConnect, &m_connectBtn);
    SubclassDlgItem(kIdAddress, &m_addressCtrl);
    SubclassDlgItem(kIdQueueTab, &m_transInfoTab);
    SubclassDlgItem(kIdConnectType, &m_connectTypeCombo);
    SubclassDlgItem(kIdDestDir, &m_destDirCombo);

    const QStringList arguments = Mfc::commandLineArguments();
    const bool addressGiven = arguments.size() >= 2;
    m_iniPath = QDir(programFolder()).filePath(QString::fromLatin1(kIniFileName));

    if (addressGiven)
        m_addressCtrl.setAddress(arguments.at(1));
    else
        m_addressCtrl.loadFromIni(m_iniPath);

    m_remoteList.initList();
    m_localPathEdit.initPath();
    m_transInfoTab.initPages();
    m_connectTypeCombo.loadFromIni(m_iniPath);
    m_destDirCombo.SetCurSel(0);

    ShowWindow(GetDlgItem(kIdVertBar), SW_HIDE);
    ShowWindow(GetDlgItem(kIdHorzBar), SW_HIDE);
    for (int id : {kIdRemoteUp, kIdRemoteRefresh, kIdRemotePath, kIdDestDir})
        EnableWindow(GetDlgItem(id), false);
    ::SetWindowText(GetDlgItem(kIdLocalFrame), loadLocalizedString(StringId::Desktop));

    if (addressGiven) {
        if (!m_connectBtn.connectOnStart()) {
            EndDialog(IDCANCEL);
            return FALSE;
        }
    } else {
        m_transInfoTab.appendLog(loadLocalizedString(StringId::WaitingForConnection));
    }
    return TRUE;
}

void CBrellfinDlg::setConnectState(bool connected, bool apply)
{
    if (!apply)
        return;
    const bool tcp = m_connectTypeCombo.getState();
    if (connected) {
        EnableWindow(GetDlgItem(kIdConnectType), false);
        EnableWindow(GetDlgItem(kIdAddress), false);
        for (int id : {kIdRemotePath, kIdRemoteUp, kIdRemoteRefresh, kIdDestDir})
            EnableWindow(GetDlgItem(id), true);
        m_connectBtn.SetWindowText(loadLocalizedString(StringId::Disconnect));
        m_transInfoTab.appendLog((tcp ? m_addressCtrl.addressText() : loadLocalizedString(StringId::UsbCommunication))
                                 + QStringLiteral(" ") + loadLocalizedString(StringId::Connected));
        SetTimer(kWatchTimer, kWatchPeriodMs);
    } else {
        EnableWindow(GetDlgItem(kIdAddress), tcp);
        m_transInfoTab.appendLog((tcp ? m_addressCtrl.addressText() : loadLocalizedString(StringId::UsbCommunication))
                                 + QStringLiteral(" ") + loadLocalizedString(StringId::Disconnected));
        EnableWindow(GetDlgItem(kIdConnectType), true);
        for (int id : {kIdRemotePath, kIdRemoteUp, kIdRemoteRefresh, kIdDestDir})
            EnableWindow(GetDlgItem(id), false);
        m_remoteList.deleteAllItems();
        m_remotePathEdit.setPath(QString());
        m_connectBtn.SetWindowText(loadLocalizedString(StringId::Connect));
        ::SetWindowText(GetDlgItem(kIdRemoteFrame), loadLocalizedString(StringId::NotConnected));
        KillTimer(kWatchTimer);
    }
    showConnectStatus(connected);
    m_connected = connected;
}

void CBrellfinDlg::showConnectStatus(bool connected)
{
    // Changed texts and pictures repaint themselves; asking for more here,
    // inside the dialog's own painting, would paint without end.
    const UINT bitmap = connected ? kBitmapConnected : kBitmapDisconnected;
    if (m_statusPicture.GetBitmapId() != bitmap)
        m_statusPicture.SetBitmap(bitmap);
    const CString status = loadLocalizedString(connected ? StringId::Connected : StringId::NotConnected);
    if (::GetWindowText(GetDlgItem(kIdStatusText)) != status)
        ::SetWindowText(GetDlgItem(kIdStatusText), status);
}

void CBrellfinDlg::OnTimer(UINT_PTR)
{
    m_localList.setProgressTick();
    m_remoteList.setProgressTick();
    const bool connected = m_fileService.isConnected();
    setConnectState(connected, connected != m_connected);
}

void CBrellfinDlg::paintEvent(QPaintEvent* event)
{
    showConnectStatus(m_fileService.isConnected());
    CDialog::paintEvent(event);
}

BOOL CBrellfinDlg::PreTranslateMessage(MSG* msg)
{
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE)
        msg->wParam = VK_RETURN;
    return CDialog::PreTranslateMessage(msg);
}

BOOL CBrellfinDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    switch (static_cast<int>(wParam)) {
    case kIdLocalRefresh: OnLocalRefresh(); return TRUE;
    case kIdRemoteRefresh: OnRemoteRefresh(); return TRUE;
    default: return CDialog::OnCommand(wParam, lParam);
    }
}

void CBrellfinDlg::OnRemoteRefresh()
{
    const CString path = QString::fromStdString(m_remoteList.currentPath());
    m_remoteList.setCurrentPath(path);
    m_remotePathEdit.setPath(toShownPath(path));
}

void CBrellfinDlg::OnLocalRefresh()
{
    m_localList.Refresh();
    const CString desktop = loadLocalizedString(StringId::Desktop);
    const CString name = m_localList.currentFolderName();
    CString text;
    if (name.compare(desktop, Qt::CaseInsensitive) == 0) {
        text = desktop;
    } else {
        m_localList.GetCurrentFolder(text);
        if (text.isEmpty())
            text = name;
    }
    m_localPathEdit.setPath(text);
}
