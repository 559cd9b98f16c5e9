#include "tarnwick/core/discovery/loadlocaldevice.h"

#include "platform/lan/probesocket.h"
#include "tarnwick/core/constants.h"

#include <QDebug>

#include <ctime>
#include <deque>
#include <list>

namespace {

void registerTypes()
{
    static const int once = [] {
        qRegisterMetaType<stLocalDeviceInfo>("stLocalDeviceInfo");
        return qRegisterMetaType<QVector<stLocalDeviceInfo>>("QVector<stLocalDeviceInfo>");
    }();
    Q_UNUSED(once);
}

// Whole seconds of a monotonic clock.
qint64 nowSeconds()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec;
}

struct Pending {
    ProbeSocket socket;
    const stDeviceData* record;
    qint64 start;
};

stLocalDeviceInfo rowOf(const stDeviceData& d, bool reachable)
{
    stLocalDeviceInfo row;
    row.deviceNo = d.deviceNo;
    row.deviceName = d.deviceName;
    row.ip = d.ipAddress;
    row.reachable = reachable;
    return row;
}

} // namespace

LoadLocalDevice::LoadLocalDevice(QObject* parent)
    : LoadLocalDevice(DeviceDatas::instance()->localDevices(), Tarnwick::Constants::kProbePort, parent)
{
}

LoadLocalDevice::LoadLocalDevice(const QVector<stDeviceData>& saved, quint16 port, QObject* parent)
    : QThread(parent)
    , m_saved(saved)
    , m_port(port)
{
    registerTypes();
}

LoadLocalDevice::~LoadLocalDevice()
{
    wait();
}

void LoadLocalDevice::cancel(bool cancelled)
{
    m_cancel = cancelled;
}

void LoadLocalDevice::run()
{
    QVector<stLocalDeviceInfo> rows;
    probe(rows);
    emit updateLocalDevice(rows);
}

void LoadLocalDevice::probe(QVector<stLocalDeviceInfo>& out)
{
    out.clear();
    std::deque<const stDeviceData*> waiting;
    for (const stDeviceData& d : qAsConst(m_saved))
        waiting.push_back(&d);
    std::list<Pending> pending;
    qint64 starvedSince = -1; // out of descriptors with nothing in flight

    while (!m_cancel && (!waiting.empty() || !pending.empty())) {
        // Start every connect that a descriptor can be had for.
        while (!waiting.empty() && !m_cancel) {
            const stDeviceData* d = waiting.front();
            Pending p{ProbeSocket(), d, nowSeconds()};
            const ProbeSocket::Create created = p.socket.create();
            if (created == ProbeSocket::Create::NoDescriptors) {
                // Retried once connects in flight have closed their sockets.
                if (pending.empty()) {
                    if (starvedSince < 0)
                        starvedSince = p.start;
                    if (p.start - starvedSince >= kGiveUpSeconds) {
                        out.append(rowOf(*d, false));
                        waiting.pop_front();
                        starvedSince = -1;
                        continue;
                    }
                }
                break;
            }
            starvedSince = -1;
            waiting.pop_front();
            if (created == ProbeSocket::Create::Failed)
                continue;
            if (!p.socket.setNonBlocking()) {
                qDebug("check failed\n");
                continue;
            }
            quint32 address = 0;
            if (!ProbeSocket::parseAddress(d->ipAddress.toUtf8(), &address)) {
                out.append(rowOf(*d, false));
                continue;
            }
            switch (p.socket.connectTo(address, m_port)) {
            case ProbeSocket::Connect::Connected: out.append(rowOf(*d, true)); break;
            case ProbeSocket::Connect::Failed: out.append(rowOf(*d, false)); break;
            case ProbeSocket::Connect::InProgress: pending.push_back(std::move(p)); break;
            }
        }
        if (m_cancel)
            break;
        if (pending.empty()) {
            if (!waiting.empty())
                QThread::msleep(kPollMs);
            continue;
        }

        std::vector<const ProbeSocket*> sockets;
        sockets.reserve(pending.size());
        for (const Pending& p : pending)
            sockets.push_back(&p.socket);
        std::vector<ProbeSocket::Outcome> outcomes;
        ProbeSocket::poll(sockets, outcomes, kPollMs);
        const qint64 now = nowSeconds();
        size_t i = 0;
        for (auto it = pending.begin(); it != pending.end() && !m_cancel; ++i) {
            ProbeSocket::Outcome outcome = outcomes[i];
            if (outcome == ProbeSocket::Outcome::Pending && now - it->start >= kGiveUpSeconds)
                outcome = ProbeSocket::Outcome::Unreachable;
            if (outcome == ProbeSocket::Outcome::Pending) {
                ++it;
                continue;
            }
            out.append(rowOf(*it->record, outcome == ProbeSocket::Outcome::Reachable));
            it = pending.erase(it); // closes the socket
        }
    }
    // Whatever is still in flight closes with `pending`.
}
