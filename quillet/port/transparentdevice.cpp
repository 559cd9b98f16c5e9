#include "quillet/port/transparentdevice.h"

#include "quillet/port/devicebuffer.h"
#include "quillet/port/idevice.h"
#include "skerrow/skerrow.h"

#include <atomic>
#include <poll.h>

namespace TransparentPort {

class TransparentDevicePrivate {
public:
    virtual ~TransparentDevicePrivate() = default;

    int pump(IDevice* from, DeviceBuffer& buffer, IDevice* to, std::atomic<unsigned long long>& stamp)
    {
        if (!from || !to)
            return 0;
        if (!from->readable() && buffer.size() <= 0)
            return 0;
        while (from->readable()) {
            const int n = buffer.readFrom(from);
            if (n <= 0)
                break;
            moved += n;
            stamp = Vexa_GetTickCount();
        }
        if (buffer.size() <= 0)
            return 0;
        const int written = buffer.writeTo(to);
        moved += written;
        return written;
    }

    std::unique_ptr<IDevice> serial;
    std::unique_ptr<IDevice> tcp;
    DeviceBuffer serialToTcp;
    DeviceBuffer tcpToSerial;
    std::atomic<unsigned long long> lastSerialData {0};
    std::atomic<unsigned long long> lastTcpData {0};
    std::atomic<long long> moved {0};
};

TransparentDevice::TransparentDevice(IDevice* serial, IDevice* tcp) : d(std::make_unique<TransparentDevicePrivate>())
{
    d->serial.reset(serial);
    d->tcp.reset(tcp);
    const unsigned long long now = Vexa_GetTickCount();
    d->lastSerialData = now;
    d->lastTcpData = now;
}

TransparentDevice::~TransparentDevice() = default;

int TransparentDevice::pumpTcpToSerial()
{
    return d->pump(d->tcp.get(), d->tcpToSerial, d->serial.get(), d->lastTcpData);
}

int TransparentDevice::pumpSerialToTcp()
{
    return d->pump(d->serial.get(), d->serialToTcp, d->tcp.get(), d->lastSerialData);
}

void TransparentDevice::waitForTraffic(int timeoutMs)
{
    pollfd fds[2];
    int count = 0;
    const struct {
        IDevice* device;
        DeviceBuffer* towards;
    } sides[2] = {{d->serial.get(), &d->tcpToSerial}, {d->tcp.get(), &d->serialToTcp}};
    for (const auto& side : sides) {
        auto* waitable = dynamic_cast<IWaitable*>(side.device);
        const int fd = waitable ? waitable->waitDescriptor() : -1;
        if (fd < 0)
            continue;
        short events = POLLIN;
        if (side.towards->size() > 0)
            events |= POLLOUT;
        fds[count++] = pollfd {fd, events, 0};
    }
    if (count == 0) {
        Vexa_Sleep(timeoutMs);
        return;
    }
    const int r = ::poll(fds, static_cast<nfds_t>(count), timeoutMs);
    if (r <= 0)
        return;
    for (int i = 0; i < count; ++i) {
        if (fds[i].revents & fds[i].events)
            return;
    }
    // Only hang-ups or errors: a lasting condition (a pty end without its
    // peer) that must not turn this wait into a spin.
    Vexa_Sleep(timeoutMs);
}

long long TransparentDevice::bytesMoved() const
{
    return d->moved;
}

IDevice* TransparentDevice::serialDevice() const
{
    return d->serial.get();
}

IDevice* TransparentDevice::tcpDevice() const
{
    return d->tcp.get();
}

unsigned long long TransparentDevice::lastSerialData() const
{
    return d->lastSerialData;
}

unsigned long long TransparentDevice::lastTcpData() const
{
    return d->lastTcpData;
}

} // namespace TransparentPort
