#include "quillet/port/transparentthread.h"

#include "platform/exceptionlog/exceptionlog.h"
#include "quillet/port/idevice.h"
#include "quillet/port/portconstants.h"
#include "quillet/port/serialdevice.h"
#include "quillet/port/smartserialdevice.h"
#include "quillet/port/tcpclientdevice.h"
#include "quillet/port/transparentdevice.h"

#include <QDebug>

#include <atomic>
#include <thread>

class TransparentThreadPrivate {
public:
    virtual ~TransparentThreadPrivate() = default;

    void run()
    {
        try {
            // A turn that moved bytes goes straight on to the next; one that
            // moved nothing waits for either side, which ends at once when
            // either has data. No yield besides: on a busy machine a yielding
            // thread loses its processor for milliseconds while bytes wait.
            while (!stopFlag.load()) {
                const long long before = device->bytesMoved();
                device->pumpTcpToSerial();
                device->pumpSerialToTcp();
                if (device->bytesMoved() == before && !stopFlag.load())
                    device->waitForTraffic(TransparentPort::kIdleWaitMs);
            }
        } catch (...) {
            platform::reportEscapedException("pass-through relay thread");
        }
    }

    std::thread worker;
    std::atomic<bool> stopFlag{false};
    TransparentPort::IDevice* serial = nullptr; // owned by device
    TransparentPort::IDevice* tcp = nullptr;    // owned by device
    std::unique_ptr<TransparentPort::TransparentDevice> device;
};

TransparentThread::TransparentThread(QObject* parent)
    : QObject(parent)
{
}

TransparentThread::~TransparentThread()
{
    stop();
}

void TransparentThread::start(const std::string& port, const std::string& ip, int tcpPort)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    stopLocked();
    auto next = std::make_unique<TransparentThreadPrivate>();
    std::unique_ptr<TransparentPort::IDevice> serial;
    if (port.find(':') == std::string::npos)
        serial = std::make_unique<TransparentPort::SmartSerialDevice>(port);
    else
        serial = std::make_unique<TransparentPort::SerialDevice>(port);
    std::unique_ptr<TransparentPort::IDevice> tcp = std::make_unique<TransparentPort::TcpClientDevice>(ip, tcpPort);
    next->serial = serial.get();
    next->tcp = tcp.get();
    next->device = std::make_unique<TransparentPort::TransparentDevice>(std::move(serial), std::move(tcp));
    TransparentThreadPrivate* raw = next.get();
    next->worker = std::thread([raw] { raw->run(); });
    d = std::move(next);
}

void TransparentThread::stop()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    stopLocked();
}

void TransparentThread::stopLocked()
{
    if (!d)
        return;
    d->stopFlag.exchange(true);
    if (d->worker.joinable())
        d->worker.join();
    d->device.reset();
    d->serial = nullptr;
    d->tcp = nullptr;
    d.reset();
}

bool TransparentThread::isConnected()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!d)
        return false;
    return d->serial->writable() && d->tcp->writable();
}
