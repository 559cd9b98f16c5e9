#include "tarnwick/ui/localdevicemodel.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/core/devicedatas.h"
#include "tarnwick/core/discovery/scanthread.h"
#include "tarnwick/core/messages/msgdispatcher.h"
#include "tarnwick/core/messages/uimsg.h"
#include "tarnwick/core/panelrpc/panelconstants.h"
#include "tarnwick/core/panelrpc/panelrecords.h"

#include "framework/net/exception.h"
#include "framework/net/tcpclient.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/syncproxy.h"
#include "framework/rpc/typedcall.h"
#include "platform/dispatch/nestedwait.h"
#include "platform/exceptionlog/exceptionlog.h"

#include <QCoreApplication>
#include <QDebug>

#include <memory>

namespace C = Tarnwick::Constants;
using FF::RPC::call;

namespace {

const char* const kHeaders[LocalDeviceModel::kColumnCount] = {
    "序号", "设备编号", "设备名称", "状态", "IP地址", "LAN IP地址",
};

QString panelText(const std::string& bytes)
{
    return QString::fromUtf8(bytes.c_str());
}

void closeClient(std::unique_ptr<FF::RPC::DispatchClient>& client)
{
    try {
        if (client && client->online())
            client->stop();
    } catch (...) {
        platform::reportEscapedException("local device client stop");
    }
    // A destructor is noexcept: whatever went wrong in it would end the
    // program there, so there is nothing to catch here.
    client.reset();
}

// Starts the worker thread and waits, with this thread's events running, for
// its one result signal or for a cancel of the refresh, which stops it (as
// the application's quit does). The worker is deleted before the return:
// that waits for its thread, so its handler has finished with the result.
template <class Worker, class Result>
Result waitForWorker(LocalDeviceModel* model, Worker* created, void (Worker::*resultSignal)(Result),
                     void (Worker::*stop)(bool))
{
    std::unique_ptr<Worker> owner(created);
    Worker* worker = owner.get();
    // Written by the worker's handler, read once its thread has ended.
    auto found = std::make_shared<Result>();
    platform::NestedWait wait;
    const auto result = QObject::connect(
        worker, resultSignal, worker,
        [found, waker = wait.waker()](Result value) {
            *found = value;
            waker.wake();
        },
        Qt::DirectConnection);
    const auto cancel = QObject::connect(
        model, &LocalDeviceModel::CancelSignal, worker,
        [worker, stop, waker = wait.waker()] {
            (worker->*stop)(true);
            waker.wake();
        },
        Qt::DirectConnection);
    worker->start(QThread::InheritPriority);
    // After the application's quit nobody needs the result: the worker is
    // stopped as a cancel stops it, so that its deletion waits a step only.
    if (wait.exec() == platform::NestedWait::End::Interrupted)
        (worker->*stop)(true);
    QObject::disconnect(result);
    QObject::disconnect(cancel);
    owner.reset();
    return *found;
}

} // namespace

LocalDeviceModel::LocalDeviceModel(QObject* parent)
    : QAbstractTableModel(parent)
{
}

LocalDeviceModel::~LocalDeviceModel() = default;

int LocalDeviceModel::rowCount(const QModelIndex&) const
{
    return rows.size();
}

int LocalDeviceModel::columnCount(const QModelIndex&) const
{
    return kColumnCount;
}

QVariant LocalDeviceModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.column() < 0 || index.row() >= rows.size()
        || index.column() >= kColumnCount)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    const stLocalDeviceInfo& row = rows.at(index.row());
    const int state = stateByIp.value(row.ip, C::StatusOnline);
    if (role == Qt::ForegroundRole) {
        if (index.column() == kStateColumn && state >= 0 && state < C::kDeviceStatusCount)
            return C::kDeviceStatusColors[state];
        return QVariant();
    }
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case 0: return QStringLiteral("%1").arg(index.row() + 1);
    case 1: return row.deviceNo;
    case 2: return row.deviceName;
    case kStateColumn:
        return (state >= 0 && state < C::kDeviceStatusCount) ? C::kDeviceStatusTexts[state]
                                                             : C::kDeviceStatusTexts[C::StatusOnline];
    case kIpColumn: return row.ip;
    case kLanIpColumn: return row.lanIp;
    }
    return QVariant();
}

QVariant LocalDeviceModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (section < 0 || section >= kColumnCount || orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(kHeaders[section]);
    if (role == Qt::InitialSortOrderRole && section > 0)
        return int(Qt::AscendingOrder);
    return QVariant();
}

void LocalDeviceModel::setNetIntf(const QString& name)
{
    if (name == netIntf)
        return;
    netIntf = name;
    beginResetModel();
    rows.clear();
    endResetModel();
}

void LocalDeviceModel::setClientId(const QString& id)
{
    clientId = id;
}

void LocalDeviceModel::cancel()
{
    cancelled = true;
    emit CancelSignal();
}

void LocalDeviceModel::setScanFactory(ScanFactory factory)
{
    m_scanFactory = std::move(factory);
}

void LocalDeviceModel::setSavedProbeFactory(SavedProbeFactory factory)
{
    m_savedProbeFactory = std::move(factory);
}

bool LocalDeviceModel::containsIp(const QVector<stLocalDeviceInfo>& list, const QString& ip)
{
    for (const stLocalDeviceInfo& d : list) {
        if (d.ip == ip)
            return true;
    }
    return false;
}

QVector<stDeviceInfoEx> LocalDeviceModel::runScan(const QNetworkInterface& iface)
{
    return waitForWorker(this, m_scanFactory ? m_scanFactory(this, iface) : new ScanThread(this, iface),
                         &ScanThread::UpdateDeviceList, &ScanThread::stop);
}

void LocalDeviceModel::RefreshDevice()
{
    const quint64 generation = ++m_refreshGeneration;
    struct Depth {
        int& depth;
        explicit Depth(int& d)
            : depth(d)
        {
            ++depth;
        }
        ~Depth() { --depth; }
    } depth(m_refreshDepth);

    QVector<stLocalDeviceInfo> newRows;
    cancelled = false;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    const QString name = netIntf;

    for (const QNetworkInterface& iface : interfaces) {
        if (iface.humanReadableName() != name)
            continue;

        const QVector<stDeviceInfoEx> devices = runScan(iface);
        if (cancelled) {
            emit CancelComplete();
            return;
        }

        // A reply's source is the address this PC reaches the panel at; the
        // address it reports is the panel's own LAN address.
        for (const stDeviceInfoEx& device : devices) {
            stLocalDeviceInfo info;
            info.ip = QString::fromStdString(device.ip);
            info.lanIp = panelText(device.lanIp);
            if (GetDeviceInfo(info)) {
                stateByIp[info.ip] = info.state;
                newRows.append(info);
            }
            if (cancelled) {
                emit CancelComplete();
                return;
            }
        }

        // Panels shown before that no longer answer the broadcast but still
        // answer their RPC service stay listed.
        const QVector<stLocalDeviceInfo> previous = rows;
        for (const stLocalDeviceInfo& row : previous) {
            if (cancelled)
                break;
            if (!containsIp(newRows, row.ip)) {
                stLocalDeviceInfo info;
                info.ip = row.ip;
                info.lanIp = row.lanIp;
                if (GetDeviceInfo(info)) {
                    bool sameNumber = false;
                    for (const stLocalDeviceInfo& d : qAsConst(newRows))
                        sameNumber = sameNumber || d.deviceNo == info.deviceNo;
                    if (!sameNumber) {
                        stateByIp[info.ip] = info.state;
                        newRows.append(info);
                    }
                }
            }
            if (cancelled) {
                emit CancelComplete();
                return;
            }
        }
    }
    if (cancelled) {
        emit CancelComplete();
        qDebug() << "RefreshDevice canceled ... ";
        return;
    }

    mergeSavedDevices(newRows);

    if (generation != m_refreshGeneration) {
        // A refresh started inside one of this one's waits is newer.
        qDebug() << "RefreshDevice superseded...";
        return;
    }
    beginResetModel();
    rows = newRows;
    endResetModel();
    qDebug() << "RefreshDevice finish...";
}

void LocalDeviceModel::mergeSavedDevices(QVector<stLocalDeviceInfo>& out)
{
    if (cancelled || netIntf.isEmpty())
        return;

    const QVector<stLocalDeviceInfo> saved = waitForWorker(
        this, m_savedProbeFactory ? m_savedProbeFactory(this) : new LoadLocalDevice(this),
        &LoadLocalDevice::updateLocalDevice, &LoadLocalDevice::cancel);

    if (cancelled) {
        emit CancelComplete();
        return;
    }
    for (const stLocalDeviceInfo& s : saved) {
        bool present = false;
        for (const stLocalDeviceInfo& r : qAsConst(out)) {
            if ((!r.deviceNo.isEmpty() && r.deviceNo == s.deviceNo) || r.ip == s.ip
                || (r.state == C::StatusLinked && r.lanIp == s.ip)) {
                present = true;
                break;
            }
        }
        if (!present) {
            stLocalDeviceInfo row;
            row.state = s.reachable ? C::StatusOnline : C::StatusOffline;
            row.deviceNo = s.deviceNo;
            row.deviceName = s.deviceName;
            row.ip = s.ip;
            out.append(row);
            stateByIp[row.ip] = row.state;
        }
        if (cancelled) {
            emit CancelComplete();
            return;
        }
    }
}

void LocalDeviceModel::setDeviceState(const QString& ip, int code)
{
    if (stateByIp.contains(linkedIp))
        stateByIp[linkedIp] = C::StatusOnline;
    linkedIp.clear();
    if (code == C::StatusLinked)
        linkedIp = ip;
    if (code == kStateProbeAgain) {
        stLocalDeviceInfo info;
        info.ip = ip;
        code = GetDeviceInfo(info) ? info.state : int(C::StatusOffline);
    }
    if (!stateByIp.contains(ip))
        return;
    stateByIp[ip] = code;
    for (int r = 0; r < rows.size(); ++r) {
        if (rows.at(r).ip == ip) {
            const QModelIndex cell = index(r, kStateColumn);
            emit dataChanged(cell, cell);
            break;
        }
    }
    QCoreApplication::processEvents();
}

bool LocalDeviceModel::GetDeviceInfo(stLocalDeviceInfo& info)
{
    if (info.ip.isEmpty())
        return false;
    // The dispatcher fills a copy of its own: when the wait ends early (the
    // application's quit gives up on it) the probe may still be running,
    // and the caller's record must not be written after this returns.
    auto shared = std::make_shared<stLocalDeviceInfo>(info);
    const QString id = clientId;
    auto msg = std::make_unique<UiMsg>([shared, id](UiMsg*) { return probeDevice(*shared, id); });
    msg->setObjectName(QStringLiteral("probe ") + info.ip);
    const UiMsg::Waited waited = UiMsg::postAndWaitWithin(std::move(msg), -1);
    if (!waited.over || waited.code != 0)
        return false;
    info = *shared;
    return true;
}

int LocalDeviceModel::probeDevice(stLocalDeviceInfo& info, const QString& clientId)
{
    std::unique_ptr<FF::RPC::DispatchClient> client;
    int code = -1;
    try {
        const QByteArray text =
            QStringLiteral("%1:%2").arg(info.ip).arg(Tarnwick::PanelConstants::kServicePort).toLocal8Bit();
        const FF::Net::Address address(text.constData());
        if (!FF::Net::TCPClient::CheckConnection(address, kProbeTimeOutMs))
            return -1;
        client = std::make_unique<FF::RPC::DispatchClient>(address, FF::Net::TCPClient::NewFactory());
        FF::RPC::SyncProxy proxy(client.get());
        const DeviceVPNInfo vpn = call<DeviceVPNInfo>(proxy, kProbeTimeOutMs, "getDeviceVPNInfo");
        info.deviceName = panelText(vpn.text2);
        const FF::utils::String sn = call<FF::utils::String>(proxy, kProbeTimeOutMs, "getProductSn");
        info.deviceNo = panelText(sn);
        try {
            const BridgeStatus bridge = call<BridgeStatus>(proxy, kProbeTimeOutMs, "bridgeStatus");
            if (bridge.status == 0) {
                info.state = C::StatusOnline;
            } else {
                info.state = C::StatusLinked;
                if (bridge.holder.compare_no_case(clientId.toUtf8().constData()) != 0)
                    info.state = C::StatusOccupied;
            }
        } catch (...) {
            // A panel that cannot tell its bridge is shown online.
            platform::reportEscapedException("local device bridge status");
            info.state = C::StatusOnline;
        }
        code = 0;
    } catch (...) {
        platform::reportEscapedException("local device probe");
        code = -1;
    }
    closeClient(client);
    return code;
}

bool LocalDeviceModel::SaveData(const QString& path)
{
    // The local list's one writer, the store's: the same bytes, the same
    // replacement of the file in one step.
    QVector<stDeviceData> records;
    records.reserve(rows.size());
    for (const stLocalDeviceInfo& row : rows) {
        stDeviceData record;
        record.deviceNo = row.deviceNo;
        record.deviceName = row.deviceName;
        record.ipAddress = row.ip;
        records << record;
    }
    if (DeviceDatas::writeLocalListCsv(path, records))
        return true;
    qDebug().noquote().nospace() << "SaveData error: " << path;
    return false;
}
