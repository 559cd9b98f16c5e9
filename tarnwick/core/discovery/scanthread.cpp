#include "tarnwick/core/discovery/scanthread.h"

#include "platform/lan/probesocket.h"
#include "platform/lan/udpsocket.h"
#include "tarnwick/core/constants.h"

#include <QDateTime>
#include <QElapsedTimer>

namespace {
void registerTypes()
{
    static const int once = [] {
        qRegisterMetaType<stDeviceInfoEx>("stDeviceInfoEx");
        return qRegisterMetaType<QVector<stDeviceInfoEx>>("QVector<stDeviceInfoEx>");
    }();
    Q_UNUSED(once);
}
} // namespace

ScanThread::ScanThread(QObject* parent, const QNetworkInterface& iface)
    : ScanThread(parent, iface.addressEntries(), Tarnwick::Constants::kDiscoveryPort)
{
}

ScanThread::ScanThread(QObject* parent, const QList<QNetworkAddressEntry>& entries, quint16 port)
    : QThread(parent)
    , m_entries(entries)
    , m_port(port)
{
    registerTypes();
}

ScanThread::~ScanThread()
{
    wait();
}

void ScanThread::stop(bool abort)
{
    m_abort = abort;
}

void ScanThread::run()
{
    for (const QNetworkAddressEntry& entry : qAsConst(m_entries)) {
        if (m_abort)
            return;
        if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        // Nowhere to send the probe (a point-to-point link, a host route).
        if (entry.broadcast().isNull())
            continue;
        scanEntry(entry);
    }
    emit UpdateDeviceList(m_devices);
    m_devices.resize(0);
}

void ScanThread::scanEntry(const QNetworkAddressEntry& entry)
{
    const quint32 id = DiscoveryDatagram::idFor(QDateTime::currentMSecsSinceEpoch());
    // Elapsed times on a monotonic clock: a clock set back cannot stretch a scan.
    QElapsedTimer clock;
    clock.start();

    UdpSocket socket;
    if (!socket.open())
        return;
    socket.setBroadcast(true);
    socket.setSendTimeout(1000);
    socket.setReceiveTimeout(1000);
    socket.setReuseAddress(true);
    if (!socket.bind(entry.ip().toIPv4Address(), 0))
        return;

    const QByteArray probe = DiscoveryDatagram::probe(id);
    const quint32 broadcast = entry.broadcast().toIPv4Address();
    socket.sendTo(probe, broadcast, m_port);
    qint64 lastSend = clock.elapsed();

    for (;;) {
        if (m_abort)
            return;
        const UdpSocket::Wait wait = socket.waitReadable(kWaitMs);
        if (wait == UdpSocket::Wait::Error)
            return;
        if (wait == UdpSocket::Wait::Timeout) {
            const qint64 now = clock.elapsed();
            if (now - lastSend > kResendMs) {
                socket.sendTo(probe, broadcast, m_port);
                lastSend = now;
            }
        } else {
            char buffer[DiscoveryDatagram::kMaxDatagram] = {};
            quint32 source = 0;
            const qint64 n = socket.receiveFrom(buffer, sizeof buffer, &source, nullptr);
            stDeviceInfo info;
            if (n >= DiscoveryDatagram::kHeaderSize) {
                lastSend = clock.elapsed();
                if (DiscoveryDatagram::parseReply(buffer, n, id, info)) {
                    stDeviceInfoEx found;
                    found.text = info.text;
                    found.value = info.value;
                    found.lanIp = info.ip;
                    found.ip = ProbeSocket::addressText(source).toStdString();
                    bool known = false;
                    for (const stDeviceInfoEx& d : qAsConst(m_devices))
                        known = known || d.ip == found.ip;
                    if (!known)
                        m_devices.append(found);
                }
            }
        }
        if (clock.elapsed() >= kScanMs)
            return;
    }
}
