#include "tarnwick/ui/localdebugview.h"

#include "tarnwick/cloud/vpnmanager.h"
#include "tarnwick/core/constants.h"
#include "tarnwick/core/devicedatas.h"
#include "tarnwick/core/forwarding/localnetforwardmanager.h"
#include "tarnwick/core/programpath.h"
#include "tarnwick/core/screentool.h"
#include "tarnwick/ui/endviewerwindow.h"
#include "tarnwick/ui/localdevicefiltermodel.h"
#include "tarnwick/ui/localdevicemodel.h"
#include "tarnwick/vnc/vncviewerwindow.h"
#include "tarnwick/widgets/columnfit.h"
#include "tarnwick/widgets/menuitemgroup.h"
#include "tarnwick/widgets/messagebox.h"
#include "tarnwick/widgets/pixmaplineedit.h"

#include <QDebug>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QHostAddress>
#include <QProcess>
#include <QRegExp>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimerEvent>
#include <QVBoxLayout>
#include <QVector>

namespace C = Tarnwick::Constants;

namespace {

enum Action {
    ActionExit = 0,
    ActionVpn = 1,
    ActionVnc = 3,
    ActionTransparent = 4,
    ActionExport = 5,
    ActionImport = 6,
    ActionSave = 8,
    ActionRefresh = 9,
    ActionFileOperate = 14,
};

const char kIconVpn[] = ":/pics/pic/vpn.png";
const char kIconVpnDisabled[] = ":/pics/pic/vpn_disable.png";
const char kIconStop[] = ":/pics/pic/stop.png";

QString u8(const char* text)
{
    return QString::fromUtf8(text);
}

// An address that can stand on either side of a forwarding.
bool isForwardableAddress(const QHostAddress& address)
{
    return !address.isNull() && !address.isBroadcast() && !address.isLoopback() && address.toIPv4Address() != 0;
}

} // namespace

LocalDebugView::LocalDebugView(QWidget* parent)
    : QWidget(parent)
{
    forwardManager = new LocalNetForwardManager(this);
    setAttribute(Qt::WA_StyledBackground);

    auto* toolWindow = new QWidget(this);
    toolWindow->setObjectName(QStringLiteral("toolWindow"));
    toolWindow->setStyleSheet(QStringLiteral("QWidget#toolWindow{  margin: 0px; padding: 0px;}"));
    toolWindow->setFixedHeight(ScreenTool::scale(55));
    auto* toolLayout = new QHBoxLayout(toolWindow);
    toolLayout->setContentsMargins(0, 0, 0, 0);

    menuGroup = new MenuItemGroup(QStringLiteral("menuDevice"));
    menuGroup->addItems({
        {ActionVpn, u8("联机"), QString::fromLatin1(kIconVpn), QString::fromLatin1(kIconVpnDisabled)},
        {ActionVnc, u8("VNC"), QStringLiteral(":/pics/pic/vnc.png"), QStringLiteral(":/pics/pic/vnc_disable.png")},
        {ActionTransparent, u8("穿透"), QStringLiteral(":/pics/pic/pass.png"),
         QStringLiteral(":/pics/pic/pass_disable.png")},
        {ActionFileOperate, u8("FTP"), QStringLiteral(":/pics/pic/ftp.png"),
         QStringLiteral(":/pics/pic/ftp_disable.png")},
        {ActionSave, u8("保存"), QStringLiteral(":/pics/pic/save.png"), QStringLiteral(":/pics/pic/save_disable.png")},
        {ActionRefresh, u8("刷新"), QStringLiteral(":/pics/pic/refresh.png"), QString()},
        {ActionExit, u8("注销"), QStringLiteral(":/pics/pic/quit.png"), QString()},
    });
    toolLayout->addWidget(menuGroup);

    auto* searchBox = new QWidget();
    searchBox->setFixedWidth(ScreenTool::scale(280));
    auto* searchLayout = new QHBoxLayout(searchBox);
    auto* searchEdit = new PixmapLineEdit();
    searchEdit->setPlaceholderText(u8("设备编号/设备名称/状态/IP地址"));
    searchEdit->setObjectName(QStringLiteral("searchEdit"));
    searchEdit->setIcon(QStringLiteral(":/pics/icon/search2.png"));
    searchEdit->setText(DeviceDatas::instance()->searchText());
    searchLayout->addWidget(searchEdit);
    toolLayout->addWidget(new QWidget(), 0);
    toolLayout->addWidget(searchBox, 0, Qt::AlignRight);

    tableView = new QTableView();
    auto* filter = new LocalDeviceFilterModel(this);
    model = new LocalDeviceModel(this);
    model->setClientId(forwardManager->clientId());
    filter->setSourceModel(model);
    filter->setFilterFixedString(searchEdit->text());
    connect(searchEdit, &PixmapLineEdit::textChanged, this, &LocalDebugView::onFilterChange);
    tableView->setModel(filter);

    tableView->setObjectName(QStringLiteral("DeviceTable"));
    tableView->setSelectionMode(QAbstractItemView::SingleSelection);
    tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView->setSortingEnabled(true);
    tableView->verticalHeader()->hide();
    tableView->setAttribute(Qt::WA_StyledBackground);
    QHeaderView* header = tableView->horizontalHeader();
    header->setHighlightSections(false);
    header->setMinimumHeight(ScreenTool::scale(38));
    header->setStyleSheet(
        QStringLiteral("QHeaderView{ margin-bottom: 1.5px;}QHeaderView::down-arrow:first{image: url();}"
                       "QHeaderView::up-arrow:first{image: url();}QHeaderView::down-arrow{subcontrol-position: "
                       "center right;image: url(:/pics/icon/arrow-down.png);padding-right: %1px; width: %2px; "
                       "height: %2px;}QHeaderView::up-arrow{subcontrol-position: center right;image: "
                       "url(:/pics/icon/arrow-up.png);padding-right: %1px; width: %2px; height: %2px;}")
            .arg(ScreenTool::scale(2))
            .arg(ScreenTool::scale(16)));
    tableView->setStyleSheet(
        QStringLiteral("QTableView::item:selected { background-color: rgb(150, 180, 250); color: white; }"));
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    for (int section = 1; section <= 4; ++section)
        header->setSectionResizeMode(section, QHeaderView::Interactive);
    const QVector<int> widths = {50, 240, 240, 160, 200};
    for (int section = 0; section < widths.size(); ++section)
        header->resizeSection(section, ScreenTool::scale(widths.at(section)));
    header->setStretchLastSection(true);
    // Within the table's width at every DPI: the address column too.
    ColumnFit::attach(tableView, widths);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(ScreenTool::scale(10), 0, ScreenTool::scale(10), ScreenTool::scale(10));
    layout->setSpacing(ScreenTool::scale(10));
    layout->addWidget(toolWindow);
    layout->addWidget(tableView);

    connect(menuGroup, &MenuItemGroup::actioned, this, &LocalDebugView::OnActionTriggered);
    tableView->sortByColumn(1, Qt::AscendingOrder);
    tableView->setColumnHidden(LocalDeviceModel::kLanIpColumn, true);
    connect(tableView, &QTableView::clicked, this, &LocalDebugView::onDeviceSelectChange);
    connect(model, &QAbstractItemModel::modelReset, this, &LocalDebugView::onDeviceRefresh);
    connect(forwardManager, &LocalNetForwardManager::deviceOfflineline, this, &LocalDebugView::onOfflineNotify);
    connect(forwardManager, &LocalNetForwardManager::deviceDropline, this, &LocalDebugView::onDroplineNotify);
    connect(forwardManager, &LocalNetForwardManager::deviceBusy, this, &LocalDebugView::onBusyNotify);
    connect(forwardManager, &LocalNetForwardManager::deviceConnectComplete, this, &LocalDebugView::onConnectNotify);
    connect(forwardManager, &LocalNetForwardManager::unsupport, this, &LocalDebugView::onUnsupportNotify);
    // The item follows the manager's state at once, not after a notice box
    // (or a refresh waiting inside it) has returned.
    connect(forwardManager, &LocalNetForwardManager::stateChanged, this, &LocalDebugView::followForwarding);
    connect(model, &LocalDeviceModel::CancelComplete, this, &LocalDebugView::cancelComplete);

    setVpnMenuDisabled(true);
}

LocalDebugView::~LocalDebugView()
{
    if (refreshTimerId != -1) {
        killTimer(refreshTimerId);
        refreshTimerId = -1;
    }
    QObject::disconnect(forwardManager, nullptr, this, nullptr);
    forwardManager->stopNetForwardSilently();
    vpnConnected = false;
    vncWindow.reset(); // not inside any of the window's loops here
}

LocalDeviceFilterModel* LocalDebugView::filterModel() const
{
    return static_cast<LocalDeviceFilterModel*>(tableView->model());
}

QString LocalDebugView::cell(int sourceRow, int column) const
{
    return model->data(model->index(sourceRow, column), Qt::DisplayRole).toString();
}

QString LocalDebugView::currentAddress() const
{
    const QModelIndex current = tableView->currentIndex();
    if (!current.isValid())
        return QString();
    LocalDeviceFilterModel* filter = filterModel();
    const QModelIndex source = filter->mapToSource(filter->index(current.row(), LocalDeviceModel::kIpColumn));
    return model->data(source, Qt::DisplayRole).toString();
}

// ---- enabled state of the actions ---------------------------------------

void LocalDebugView::setMenuDisabled(bool disabled)
{
    menuGroup->setItemDisabled(ActionVnc, disabled);
    menuGroup->setItemDisabled(ActionFileOperate, disabled);
    menuGroup->setItemDisabled(ActionTransparent, disabled);
}

bool LocalDebugView::isForwardablePair(const QString& ipText, const QString& lanIpText)
{
    if (ipText.isEmpty() || lanIpText.isEmpty())
        return false;
    const QHostAddress ip(ipText);
    const QHostAddress lanIp(lanIpText);
    return isForwardableAddress(ip) && isForwardableAddress(lanIp)
           && !ip.isEqual(lanIp, QHostAddress::TolerantConversion);
}

void LocalDebugView::setVpnMenuDisabled(bool bForce)
{
    if (!bForce && isForwardablePair(selectedIp, selectedLanIp))
        return;
    menuGroup->changeItem(ActionVpn, ActionVpn, QString::fromLatin1(kIconVpnDisabled), u8("联机"));
    menuGroup->setItemDisabled(ActionVpn, true);
}

void LocalDebugView::onChangeVPNMemuState(bool bChecked)
{
    menuGroup->setItemDisabled(ActionVpn, false);
    if (bChecked) {
        menuGroup->changeItem(ActionVpn, ActionVpn, QString::fromLatin1(kIconStop), u8("停止"));
        vpnConnected = true;
    } else {
        menuGroup->changeItem(ActionVpn, ActionVpn, QString::fromLatin1(kIconVpn), u8("联机"));
        vpnConnected = false;
    }
    setVpnMenuDisabled(false);
}

bool LocalDebugView::isForwardingPending() const
{
    return forwardManager->stateName() == QLatin1String(LocalNetForwardManager::kStatePending);
}

void LocalDebugView::followForwarding()
{
    // "停止" only for the selected panel while the manager forwards it; while
    // a start or stop is pending the manager ignores requests, so the item
    // cannot be clicked then.
    const bool forwarded = !selectedIp.isEmpty() && forwardManager->deviceIp() == selectedIp
                           && forwardManager->stateName() == QLatin1String(LocalNetForwardManager::kStateStart);
    onChangeVPNMemuState(forwarded);
    if (isForwardingPending())
        menuGroup->setItemDisabled(ActionVpn, true);
}

void LocalDebugView::applyStatusRule(const QString& status)
{
    const C::DeviceStatus usable[] = {C::StatusOnline, C::StatusLinked};
    bool enabled = false;
    for (C::DeviceStatus s : usable)
        enabled = enabled || status == C::kDeviceStatusTexts[s];
    setMenuDisabled(!enabled);
}

// ---- selection, refresh, filter ------------------------------------------

void LocalDebugView::followRow(int sourceRow)
{
    applyStatusRule(cell(sourceRow, LocalDeviceModel::kStateColumn));
    selectedIp = cell(sourceRow, LocalDeviceModel::kIpColumn);
    selectedLanIp = cell(sourceRow, LocalDeviceModel::kLanIpColumn);
    followForwarding();
}

void LocalDebugView::onDeviceSelectChange(const QModelIndex& index)
{
    followRow(filterModel()->mapToSource(index).row());
}

void LocalDebugView::onDeviceRefresh()
{
    if (selectedIp.isEmpty()) {
        setMenuDisabled(true);
        return;
    }
    for (int r = 0; r < model->rowCount(); ++r) {
        if (cell(r, LocalDeviceModel::kIpColumn) != selectedIp)
            continue;
        const QModelIndex shown = filterModel()->mapFromSource(model->index(r, LocalDeviceModel::kIpColumn));
        if (!shown.isValid()) {
            selectedLanIp = cell(r, LocalDeviceModel::kLanIpColumn);
            followHiddenSelection();
            return;
        }
        tableView->setCurrentIndex(shown);
        followRow(r);
        return;
    }
    const QString old = selectedIp;
    selectedIp.clear();
    selectedLanIp.clear();
    tableView->setCurrentIndex(QModelIndex());
    if (forwardManager->deviceIp() == old)
        forwardManager->stopNetForward(true);
    onChangeVPNMemuState(false);
    setMenuDisabled(true);
}

void LocalDebugView::onFilterChange(const QString& filter)
{
    // The typed text is a regular expression anchored at the start, as typed.
    filterModel()->setFilterRegExp(QRegExp(QStringLiteral("^") + filter, Qt::CaseSensitive, QRegExp::RegExp));
    LocalDeviceFilterModel* proxy = filterModel();
    for (int r = 0; r < proxy->rowCount(); ++r) {
        const QModelIndex index = proxy->index(r, LocalDeviceModel::kIpColumn);
        if (model->data(proxy->mapToSource(index)).toString() != selectedIp || selectedIp.isEmpty())
            continue;
        // The selected panel is shown: the tools follow its row as after a click.
        tableView->setCurrentIndex(index);
        followRow(proxy->mapToSource(index).row());
        return;
    }
    followHiddenSelection();
}

void LocalDebugView::followHiddenSelection()
{
    // The view moves its current row, highlighted, to a neighbour of a row
    // that the filter hides, one that the user never chose and that the
    // tools would act on: no row stands in for the selection.
    tableView->setCurrentIndex(QModelIndex());
    onChangeVPNMemuState(false);
    setVpnMenuDisabled(true);
    setMenuDisabled(true);
}

void LocalDebugView::setNetIntf(const QString& name)
{
    netIntf = name;
    model->setNetIntf(name);
    model->RefreshDevice();
    if (refreshTimerId != -1) {
        killTimer(refreshTimerId);
        refreshTimerId = -1;
    }
    if (!name.isEmpty())
        refreshTimerId = startTimer(kRefreshIntervalMs, Qt::CoarseTimer);
    else
        forwardManager->stopNetForwardSilently();
}

void LocalDebugView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != refreshTimerId || refreshTimerId == -1)
        return;
    // A tick that comes while a refresh waits is skipped: ticks would
    // otherwise pile up nested refreshes while the panels answer slowly. So
    // is one during a forwarding start or stop: a refresh nested in the
    // step's wait would hold the step back until the refresh ends.
    if (model && !netIntf.isEmpty() && !model->isRefreshing() && !isForwardingPending())
        model->RefreshDevice();
}

void LocalDebugView::cancelRefresh()
{
    model->cancel();
}

void LocalDebugView::exitPage()
{
    if (refreshTimerId != -1) {
        killTimer(refreshTimerId);
        refreshTimerId = -1;
    }
    forwardManager->stopNetForwardSilently();
    vpnConnected = false;
    onChangeVPNMemuState(false);
    model->cancel();
    model->setNetIntf(QString());
    setVpnMenuDisabled(true);
}

void LocalDebugView::onFreshDeviceList()
{
    model->RefreshDevice();
}

void LocalDebugView::OnActionTriggered(const QString&, int action)
{
    switch (action) {
    case ActionExit: emit exitPageSignal(); break;
    case ActionVpn: onStartVPN(); break;
    case ActionVnc: onStartVNC(); break;
    case ActionTransparent: onStartTransparent(); break;
    case ActionExport: onExportDevice(); break;
    case ActionImport: onImportDevice(); break;
    case ActionSave: onSaveDevice(); break;
    case ActionRefresh: model->RefreshDevice(); break;
    case ActionFileOperate: onFileOperate(); break;
    default: break;
    }
}

// ---- actions on the selected panel ---------------------------------------

void LocalDebugView::onStartVPN()
{
    if (selectedIp == selectedLanIp)
        return;
    if (forwardManager->deviceIp() == selectedIp) {
        if (vpnConnected)
            forwardManager->stopNetForward(true);
        return;
    }
    forwardManager->startNetForward(selectedIp, selectedLanIp);
}

void LocalDebugView::notice(const QString& ip, int code, const QString& text)
{
    model->setDeviceState(ip, code);
    // The manager has settled before it reports, so the item shows the
    // outcome before the box: the box waits in a loop of its own, and a
    // refresh that starts inside it would hold the box's return back.
    followForwarding();
    MessageBox::information(this, u8("联机"), text, u8("确认"), Qt::AlignCenter);
    followForwarding();
}

void LocalDebugView::onOfflineNotify(QString ip)
{
    notice(ip, C::StatusOnline, u8("设备联机已断开!"));
}

void LocalDebugView::onDroplineNotify(QString ip)
{
    notice(ip, LocalDeviceModel::kStateProbeAgain, u8("设备联机已断开!"));
}

void LocalDebugView::onBusyNotify(QString ip)
{
    notice(ip, C::StatusOccupied, u8("设备已被占用!"));
}

void LocalDebugView::onUnsupportNotify(QString ip)
{
    notice(ip, C::StatusOnline, u8("设备不支持局域网网络穿透，无法联机!"));
}

void LocalDebugView::onConnectNotify(QString ip, bool bSuc)
{
    if (bSuc)
        notice(ip, C::StatusLinked, u8("设备联机成功!"));
    else
        notice(ip, C::StatusOnline, u8("设备联机失败!"));
}

void LocalDebugView::onStartVNC()
{
    const QString address = currentAddress();
    if (address.isEmpty())
        return;
    endViewerWindow(vncWindow);
    vncWindow = std::make_unique<VncViewerWindow>(address);
    vncWindow->show();
}

void LocalDebugView::onStartTransparent()
{
    const QString address = currentAddress();
    if (address.isEmpty())
        return;
    VPN_Android::VpnManager::instance()->startTransparent(address);
}

void LocalDebugView::onFileOperate()
{
    const QString address = currentAddress();
    if (address.isEmpty())
        return;
    // Beside the program, with the address as the only argument; no shell.
    QProcess::startDetached(ProgramPath::brellfin(), {address});
}

// ---- list files ----------------------------------------------------------

void LocalDebugView::onSaveDevice()
{
    if (MessageBox::question(this, u8("保存"), u8("将当前设备列表保存至本地, 确认操作吗？"), u8("确认"), u8("取消"),
                             Qt::AlignCenter)
        != MessageBox::Button1)
        return;
    QString text;
    if (model->SaveData(C::kLocalDeviceListFile)) {
        DeviceDatas::instance()->loadLocalDevices(C::kLocalDeviceListFile);
        text = u8("保存本地列表成功!");
    } else {
        text = u8("保存本地列表失败!");
    }
    MessageBox::information(this, u8("保存"), text, u8("确认"), Qt::AlignCenter);
}

void LocalDebugView::onExportDevice()
{
    QString folder;
    {
        QFileDialog dialog(this, QString(), QString(), QString());
        dialog.setWindowTitle(u8("选择导出文件夹"));
        dialog.setViewMode(QFileDialog::Detail);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        folder = dialog.selectedFiles().first();
    }
    if (folder.isEmpty())
        return;
    qDebug().noquote() << "selected: " + folder;
    const QString file = folder + QStringLiteral("/LocalDeviceList.csv");
    if (model->SaveData(file))
        MessageBox::information(this, u8("导出"), u8("设备列表成功导出到: ") + QStringLiteral("\n") + file, u8("确认"),
                                Qt::AlignCenter);
    else
        MessageBox::information(this, u8("导出"), u8("设备列表导出失败!"), u8("确认"), Qt::AlignCenter);
}

void LocalDebugView::onImportDevice()
{
    QString path;
    {
        QFileDialog dialog(this, QString(), QString(), QString());
        dialog.setWindowTitle(u8("选择导入的CSV文件"));
        dialog.setNameFilters({QStringLiteral("CSV File(*.csv)"), QStringLiteral("All Files(*.*)")});
        dialog.setViewMode(QFileDialog::Detail);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        path = dialog.selectedFiles().first();
    }
    if (path.isEmpty())
        return;
    DeviceDatas* datas = DeviceDatas::instance();
    if (!DeviceDatas::isLocalDeviceCsv(path)) {
        MessageBox::warning(this, u8("设备导入"), u8("错误的设备文件格式, 请检查!"), u8("确认"), Qt::AlignCenter);
        return;
    }
    // The list in memory as it was, to be put back when the user turns a
    // clashing file down: loading replaces it even when rows clash.
    QTemporaryDir keep;
    const QString kept = keep.filePath(QStringLiteral("kept.csv"));
    const bool haveKept = keep.isValid() && DeviceDatas::writeLocalListCsv(kept, datas->localDevices());
    if (!datas->loadLocalDevices(path)) {
        if (MessageBox::question(this, u8("确认导入"), u8("设备列表中存在冲突设备, 是否继续？"), u8("确认"), u8("取消"),
                                 Qt::AlignCenter)
            != MessageBox::Button1) {
            if (haveKept)
                datas->loadLocalDevices(kept);
            else
                datas->loadLocalDevices(C::kLocalDeviceListFile);
            return;
        }
    }
    datas->saveLocalDevices();
    model->RefreshDevice();
    MessageBox::information(this, u8("设备导入"), u8("设备导入成功。"), u8("确认"), Qt::AlignCenter);
}
