#include "quillet/port/devicebuffer.h"

#include "quillet/port/idevice.h"
#include "quillet/port/portconstants.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace TransparentPort {

struct DeviceBufferRecord {
    std::vector<char> storage = std::vector<char>(kBufferSize, 0);
    int offset = 0;
    int count = 0;
    std::mutex mutex;

    int append(const char* data, int len)
    {
        const int cap = static_cast<int>(storage.size());
        char* base = storage.data();
        if (len >= cap) {
            std::memcpy(base, data + (len - cap), static_cast<size_t>(cap));
            offset = 0;
            count = cap;
            return cap;
        }
        if (count + len >= cap) {
            const int keep = cap - len;
            std::memmove(base, base + offset + count - keep, static_cast<size_t>(keep));
            std::memcpy(base + keep, data, static_cast<size_t>(len));
            offset = 0;
            count = cap;
            return cap;
        }
        if (offset + count + len > cap) {
            std::memmove(base, base + offset, static_cast<size_t>(count));
            offset = 0;
            std::memcpy(base + count, data, static_cast<size_t>(len));
            count += len;
            return count;
        }
        std::memcpy(base + offset + count, data, static_cast<size_t>(len));
        count += len;
        return len;
    }
};

DeviceBuffer::DeviceBuffer()
    : d(std::make_unique<DeviceBufferRecord>())
{
}

DeviceBuffer::~DeviceBuffer() = default;

int DeviceBuffer::write(const char* data, int len)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!data || len <= 0)
        return 0;
    return d->append(data, len);
}

int DeviceBuffer::readFrom(IDevice* device)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!device)
        return 0;
    char scratch[kBufferSize];
    int total = 0;
    while (device->readable()) {
        // Only what fits: the rest stays in the device (the TCP window, the
        // tty queue) until the other side has taken what is here.
        const int room = static_cast<int>(d->storage.size()) - d->count;
        if (room <= 0)
            break;
        const int queued = device->available();
        if (queued < 0)
            break;
        // A readable device with nothing counted may be at its end; the read
        // tells.
        const int want = std::min({std::max(queued, 1), room, static_cast<int>(sizeof scratch)});
        const int n = device->read(scratch, want);
        if (n <= 0)
            break;
        d->append(scratch, n);
        total += n;
    }
    return total;
}

int DeviceBuffer::read(char* dst, int len)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!dst || len < 0)
        return 0;
    const int n = std::min(len, d->count);
    std::memcpy(dst, d->storage.data() + d->offset, static_cast<size_t>(n));
    d->offset += n;
    d->count -= n;
    if (d->count == 0)
        d->offset = 0;
    return n;
}

int DeviceBuffer::writeTo(IDevice* device)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!device)
        return 0;
    int total = 0;
    while (d->count > 0) {
        if (!device->writable())
            break;
        const int n = device->write(d->storage.data() + d->offset, d->count);
        if (n <= 0)
            break;
        const int taken = std::min(n, d->count);
        d->offset += taken;
        d->count -= taken;
        total += taken;
    }
    if (d->count == 0)
        d->offset = 0;
    return total;
}

int DeviceBuffer::resize(int size)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (size <= 0)
        size = kSmallBufferSize;
    else if (size > kBufferSize)
        size = kBufferSize;
    d->storage.assign(static_cast<size_t>(size), 0);
    d->offset = 0;
    d->count = 0;
    return size;
}

int DeviceBuffer::capacity()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return static_cast<int>(d->storage.size());
}

int DeviceBuffer::size()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->count;
}

} // namespace TransparentPort
