#include "quillet/port/serialdevice.h"

#include "quillet/port/portconstants.h"
#include "platform/serial/serialport.h"
#include "platform/serial/serialportname.h"
#include "platform/serial/serialsettings.h"
#include "skerrow/skerrow.h"

#include <mutex>

namespace TransparentPort {

class SerialDevicePrivate {
public:
    virtual ~SerialDevicePrivate() = default;

    // Opens the port when it is closed; at most every kSerialReopenPauseMs.
    bool ensureOpen()
    {
        if (port.isOpen())
            return true;
        if (!usable)
            return false;
        const unsigned long long now = Vexa_GetTickCount();
        if (triedOnce && now - lastOpenAttempt < static_cast<unsigned long long>(kSerialReopenPauseMs))
            return false;
        triedOnce = true;
        lastOpenAttempt = now;
        open(kReopenReadIntervalMs);
        return false; // the operation that opened reports not ready
    }

    void open(int readIntervalMs)
    {
        if (port.open(name) != Serial::OpenResult::Ok)
            return;
        if (!port.apply(settings)) {
            port.close();
            return;
        }
        port.setTimeouts({readIntervalMs, kReadTotalConstantMs, kWriteTotalConstantMs});
        port.setQueueSizes(kSerialQueueSize, kSerialQueueSize);
    }

    // The port's status; a port that went away is closed for a later reopen.
    Serial::Status status()
    {
        const Serial::Status st = port.status();
        if (st.gone)
            port.close();
        return st;
    }

    Serial::Port port;
    Serial::Settings settings;
    std::string name;
    bool usable = false;
    bool triedOnce = false;
    unsigned long long lastOpenAttempt = 0;
    std::mutex mutex;
};

SerialDevice::SerialDevice(const std::string& spec) : d(std::make_unique<SerialDevicePrivate>())
{
    const size_t colon = spec.find(':');
    if (colon == std::string::npos || colon + 1 >= spec.size())
        return;
    const std::string name = spec.substr(0, colon);
    const int number = Serial::comNumber(name);
    if (number <= 0)
        return;
    if (!Serial::parseSettings(spec.substr(colon + 1), &d->settings))
        return;
    d->name = "COM" + std::to_string(number);
    d->usable = true;
    d->triedOnce = true;
    d->lastOpenAttempt = Vexa_GetTickCount();
    d->open(kFirstOpenReadIntervalMs);
}

SerialDevice::~SerialDevice() = default;

bool SerialDevice::usable() const
{
    return d->usable;
}

bool SerialDevice::readable()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!d->ensureOpen())
        return false;
    const Serial::Status st = d->status();
    return st.ok && st.queued > 0;
}

bool SerialDevice::writable()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!d->ensureOpen())
        return false;
    const Serial::Status st = d->status();
    return st.ok && !st.transmitFull;
}

int SerialDevice::read(char* dst, int len)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!dst || len <= 0)
        return 0;
    if (!d->ensureOpen())
        return -1;
    const int n = d->port.read(dst, len);
    if (n < 0) {
        d->status(); // closes a port that went away
        return -2;
    }
    return n;
}

int SerialDevice::write(const char* data, int len)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!data || len <= 0)
        return 0;
    if (!d->ensureOpen())
        return -1;
    bool failed = false;
    const int written = d->port.writeAll(data, len, &failed);
    if (failed)
        d->status(); // closes a port that went away
    return written > 0 ? written : -3;
}

int SerialDevice::available()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!d->ensureOpen())
        return -1;
    const Serial::Status st = d->status();
    return st.ok ? st.queued : 0;
}

int SerialDevice::waitDescriptor()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->port.descriptor();
}

} // namespace TransparentPort
