#include "tarnwick/ui/mainwindow/mainframe.h"

// The main window's cloud device list: polling, replies that change nothing,
// the merge into the account's saved records, sorting, the search filter and
// the rows of the cloud page's table.

#include "tarnwick/cloud/vpnclient.h"
#include "tarnwick/cloud/vpnmanager.h"
#include "tarnwick/core/panelrpc/localdeviceobject.h"
#include "tarnwick/ui/endviewerwindow.h"
#include "tarnwick/ui/mainwindow/clouddevicerows.h"
#include "tarnwick/ui/mainwindow/deviceview.h"
#include "tarnwick/ui/mainwindow/mainwindowconstants.h"
#include "tarnwick/widgets/messagebox.h"
#include "tarnwick/widgets/tableview.h"

#include <QDateTime>
#include <QDebug>

namespace C = Tarnwick::MainWindow;

void MainFrame::setClock(Clock newClock)
{
    clock = std::move(newClock);
}

qint64 MainFrame::now() const
{
    return clock ? clock() : QDateTime::currentMSecsSinceEpoch();
}

void MainFrame::onTimerRefresh()
{
    if (loginState == LoggedIn)
        onPageRefresh(0);
}

void MainFrame::onPageRefresh(int page)
{
    if (loginState == LoggedOut) {
        qDebug().noquote() << "UnLogin, stop to QueryBoxList";
        return;
    }
    if (page != 0)
        return;
    if (loginMode == C::CloudMode) {
        qDebug().noquote() << "to QueryBoxList...";
        cloudClient->QueryBoxList();
    } else if (loginMode == C::LocalMode) {
        emit localDevice->signalManualRefresh();
    }
}

void MainFrame::onQueryBoxListSignal(bool bSuc, QVector<stBoxData> newBoxes, QString strErrMsg)
{
    qDebug().noquote() << "QueryBoxList " + QString(bSuc ? "true" : "false")
                              + " size: " + QString::number(newBoxes.size()) + strErrMsg;
    if (!bSuc) {
        const qint64 t = now();
        if (listFailSince == 0) {
            listFailSince = t;
            return;
        }
        if (t < listFailSince || t - listFailSince <= C::kListFailDropMs)
            return;
        onDropLineSignal();
        return;
    }
    listFailSince = 0;

    if (!connectedSn.isEmpty()) {
        bool stillConnected = false;
        for (const stBoxData& b : newBoxes)
            stillConnected = stillConnected || (b.sn == connectedSn && b.state == C::CloudConnected);
        if (!stillConnected) {
            VPN_Android::VpnManager::instance()->quit(false);
            connectedSn.clear();
            if (vncWindow)
                endViewerWindow(vncWindow);
            MessageBox::information(this, C::noticeTitle(), C::linkEndedText(), C::confirm());
        }
    }

    if (!deviceRows.isEmpty() && newBoxes.size() == boxes.size()) {
        for (int i = 0; i < newBoxes.size(); ++i)
            qDebug().noquote() << "QueryBoxList " << i << newBoxes.at(i).sn << newBoxes.at(i).spareText
                               << newBoxes.at(i).iccid << newBoxes.at(i).state;
        if (CloudDeviceRows::sameBoxes(newBoxes, boxes)) {
            qDebug().noquote() << "QueryBoxList noChange";
            return;
        }
    }
    boxes = newBoxes;
    onUpdateDeviceTable();
}

void MainFrame::onUpdateDeviceTable()
{
    if (loginMode == C::LocalMode)
        return;
    qDebug().noquote() << "Update device list...";
    DeviceView* page = devicePage();

    deviceRows = CloudDeviceRows::merge(DeviceDatas::instance()->findByAccount(userName, password), boxes, userName,
                                        password);
    CloudDeviceRows::sortRows(deviceRows, page->sortColumn(), page->isAscending(), mVpnDevice.mSn,
                              mVpnDevice.mOperation);

    // The device the table still shows in the chosen row, looked up among
    // the rebuilt records: the end of a VPN operation empties the records
    // before the next reply, so a look-up before the rebuild finds nothing.
    stDeviceData chosen;
    const bool hadChoice = recordOfRow(selectedRow, chosen);

    const QString search = DeviceDatas::instance()->searchText();
    const QList<stDeviceData> shown = search.isEmpty() ? deviceRows : DeviceDatas::search(deviceRows, search);

    // Rows of the table are places in the shown list, with or without a
    // search text: the VPN target's row and the selection are found there.
    if (mVpnDevice.mOperation != C::VpnIdle && !mVpnDevice.mSn.isEmpty())
        mVpnDevice.mRow = DeviceDatas::indexOf(shown, mVpnDevice.mSn);
    selectedRow = hadChoice ? DeviceDatas::indexOf(shown, chosen.deviceNo) : 0;
    if (selectedRow < 0)
        selectedRow = 0;

    QVariantList rows;
    rows.reserve(shown.size());
    for (int i = 0; i < shown.size(); ++i)
        rows.append(makeDeviceRow(shown.at(i), i, false));
    page->updatePageRows(0, rows);
    page->selectRow(selectedRow);

    if (selectedRow >= shown.size())
        selectedRow = 0;
    onSelectedRow(selectedRow);
    if (mVpnDevice.mOperation != C::VpnIdle && mVpnDevice.mRow != -1)
        refreshVpnRow(true);
}

void MainFrame::onSelectedRow(int row)
{
    if (loginMode != C::CloudMode)
        return;
    selectedRow = row;
    stDeviceData record;
    if (recordOfRow(row, record))
        devicePage()->setConnectState(record.state == C::CloudConnected, record.state == C::CloudOnline);
    else
        devicePage()->setConnectState(false, false);
}

bool MainFrame::recordOfRow(int row, stDeviceData& out)
{
    const QVariant key = devicePage()->cellValue(row, DeviceView::keyColumn());
    if (!key.isValid())
        return false;
    const int at = DeviceDatas::indexOf(deviceRows, key.toString());
    if (at < 0)
        return false;
    out = deviceRows.at(at);
    return true;
}

void MainFrame::refreshVpnRow(bool busy)
{
    DeviceView* page = devicePage();
    const int shownRows = page->table() ? page->table()->rowCount() : 0;
    if (mVpnDevice.mRow == -1 || mVpnDevice.mRow >= shownRows)
        return;
    stDeviceData record;
    if (!recordOfRow(mVpnDevice.mRow, record))
        return;
    page->setPageRow(0, mVpnDevice.mRow, makeDeviceRow(record, mVpnDevice.mRow, busy).toList());
}

QVariant MainFrame::makeDeviceRow(const stDeviceData& record, int index, bool busy)
{
    return CloudDeviceRows::makeDeviceRow(record, index, busy, mVpnDevice.mOperation);
}

bool MainFrame::compareRows(const stDeviceData& a, const stDeviceData& b)
{
    DeviceView* page = devicePage();
    const int column = page->sortColumn();
    const QString ka = CloudDeviceRows::sortKey(a, column, mVpnDevice.mSn, mVpnDevice.mOperation);
    const QString kb = CloudDeviceRows::sortKey(b, column, mVpnDevice.mSn, mVpnDevice.mOperation);
    return page->isAscending() ? ka < kb : kb < ka;
}

QString MainFrame::statusSortKey(const stDeviceData& record)
{
    return CloudDeviceRows::statusSortKey(record, mVpnDevice.mSn, mVpnDevice.mOperation);
}

int MainFrame::classifySn(const QString& sn)
{
    return CloudDeviceRows::classifySn(sn);
}

void MainFrame::deviceTypeTexts(const stDeviceData& record, QString& type, QString& network)
{
    CloudDeviceRows::deviceTypeTexts(record, type, network);
}

QString MainFrame::decodeUnicodeEscapes(const QString& text)
{
    return CloudDeviceRows::decodeUnicodeEscapes(text);
}
