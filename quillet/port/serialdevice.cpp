#include "quillet/port/serialdevice.h"

#include "platform/serial/serialportname.h"
#include "platform/serial/serialsettings.h"
#include "quillet/port/portconstants.h"
#include "quillet/port/serialportholder.h"
#include "skerrow/skerrow.h"

#include <mutex>

namespace TransparentPort {

// Keeps the caller's settings; every reopen applies them again.
class SerialDevicePrivate : public SerialPortHolder {
public:
    Serial::Settings settings;

private:
    void reopen() override { openWith(settings, kReopenReadIntervalMs); }
};

SerialDevice::SerialDevice(const std::string& spec)
    : d(std::make_unique<SerialDevicePrivate>())
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
    d->lastOpenAttempt = Vexa_GetTickCount();
    d->openWith(d->settings, kFirstOpenReadIntervalMs);
}

SerialDevice::~SerialDevice() = default;

bool SerialDevice::usable() const
{
    return !d->name.empty();
}

bool SerialDevice::readable()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!d->ensureOpen())
        return false;
    const Serial::Status st = d->inputStatus();
    return st.ok && st.queued > 0;
}

bool SerialDevice::writable()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->writable();
}

int SerialDevice::read(char* dst, int len)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!dst || len <= 0)
        return 0;
    if (!d->ensureOpen())
        return -1;
    const int n = d->port.read(dst, len);
    d->forgetCount();
    if (n < 0) {
        d->inputStatus(); // closes a port that went away
        return -2;
    }
    return n;
}

int SerialDevice::write(const char* data, int len)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->write(data, len);
}

int SerialDevice::available()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!d->ensureOpen())
        return -1;
    const Serial::Status st = d->inputCount();
    return st.ok ? st.queued : 0;
}

int SerialDevice::waitDescriptor()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->port.descriptor();
}

} // namespace TransparentPort
