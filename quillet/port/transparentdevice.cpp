#include "quillet/port/transparentdevice.h"

#include "quillet/port/devicebuffer.h"
#include "quillet/port/idevice.h"
#include "skerrow/skerrow.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <thread>
#include <time.h>

namespace TransparentPort {

class TransparentDevicePrivate {
public:
    virtual ~TransparentDevicePrivate() = default;

    // Takes what `from` has, as far as the buffer holds it (readFrom goes on
    // while the device stays readable), then hands on what `to` takes.
    int pump(IDevice* from, DeviceBuffer& buffer, IDevice* to, std::atomic<unsigned long long>& stamp)
    {
        if (!from || !to)
            return 0;
        const int n = buffer.readFrom(from);
        if (n > 0) {
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
    std::atomic<unsigned long long> lastSerialData{0};
    std::atomic<unsigned long long> lastTcpData{0};
    std::atomic<long long> moved{0};
};

TransparentDevice::TransparentDevice(std::unique_ptr<IDevice> serial, std::unique_ptr<IDevice> tcp)
    : d(std::make_unique<TransparentDevicePrivate>())
{
    d->serial = std::move(serial);
    d->tcp = std::move(tcp);
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
    // A side is watched for input while the buffer it fills has room, and for
    // room while the buffer that drains into it holds bytes.
    pollfd fds[2];
    nfds_t count = 0;
    const struct {
        IDevice* device;
        DeviceBuffer* from;
        DeviceBuffer* towards;
    } sides[2] = {{d->serial.get(), &d->serialToTcp, &d->tcpToSerial},
                  {d->tcp.get(), &d->tcpToSerial, &d->serialToTcp}};
    for (const auto& side : sides) {
        auto* waitable = dynamic_cast<IWaitable*>(side.device);
        const int fd = waitable ? waitable->waitDescriptor() : -1;
        if (fd < 0)
            continue;
        short events = 0;
        if (side.from->size() < side.from->capacity())
            events |= POLLIN;
        if (side.towards->size() > 0)
            events |= POLLOUT;
        if (events != 0)
            fds[count++] = pollfd{fd, events, 0};
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now());
        if (left.count() <= 0)
            return;
        if (count == 0) {
            std::this_thread::sleep_for(left);
            return;
        }
        const timespec limit{static_cast<time_t>(left.count() / 1000000),
                             static_cast<long>(left.count() % 1000000) * 1000};
        const int r = ::ppoll(fds, count, &limit, nullptr);
        if (r == 0)
            return;
        if (r < 0) {
            if (errno == EINTR)
                continue;
            std::this_thread::sleep_for(left);
            return;
        }
        // A hang-up or an error is a lasting condition (a pty end without its
        // peer), not traffic: that side is stepped by the next turn anyway
        // and is left out of the rest of this wait, which must not spin.
        nfds_t kept = 0;
        for (nfds_t i = 0; i < count; ++i) {
            if (fds[i].revents & (POLLHUP | POLLERR | POLLNVAL))
                continue;
            if (fds[i].revents & fds[i].events)
                return;
            fds[kept++] = fds[i];
        }
        count = kept;
    }
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
