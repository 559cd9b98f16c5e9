#include "quillet/port/smartserialdevice.h"

#include "platform/serial/serialportname.h"
#include "platform/serial/serialsettings.h"
#include "quillet/port/portconstants.h"
#include "quillet/port/serialportholder.h"
#include "skerrow/skerrow.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace TransparentPort {

namespace {

const unsigned char kSignature[4] = {'c', '0', 'c', 0};

void fillInsertionRequest(unsigned char request[9], unsigned char escape, unsigned options)
{
    request[0] = escape;
    std::memcpy(request + 1, kSignature, 4);
    for (int i = 0; i < 4; ++i)
        request[5 + i] = static_cast<unsigned char>(options >> (8 * i));
}

} // namespace

class SmartSerialDevicePrivate : public SerialPortHolder {
public:
    // Opens the port afresh and sets the driver's state insertion up.
    void open()
    {
        port.close();
        pending.clear();
        pendingPos = 0;
        Serial::Settings settings;
        if (name.empty() || !Serial::parseSettings(kSmartSerialSettings, &settings)
            || !openWith(settings, kReopenReadIntervalMs))
            return;

        unsigned char request[9];
        fillInsertionRequest(request, kInsertionQueryEscape, kInsertionAllOptions);
        unsigned char answer[8] = {};
        int returned = 0;
        if (port.insertionControl(request, 9, answer, 8, &returned) && returned >= 8
            && std::memcmp(answer, kSignature, 4) == 0) {
            unsigned word = 0;
            for (int i = 0; i < 4; ++i)
                word |= static_cast<unsigned>(answer[4 + i]) << (8 * i);
            mask = word & kInsertionOptionFilter;
        } else {
            mask = kInsertionDefaultMask;
        }
        enableInsertion();
    }

    // Asks the driver to insert line-state sequences; what it hands back
    // becomes the pending bytes.
    void enableInsertion()
    {
        refreshStamp = Vexa_GetTickCount();
        pending.clear();
        pendingPos = 0;
        int outSize = 0;
        if (mask & 0x01000000u) {
            if (mask & 0x1u)
                outSize += 3;
            if (mask & 0x2u)
                outSize += 3;
            if (mask & 0x100u)
                outSize += 6;
            if (mask & 0x200u)
                outSize += 5;
        }
        unsigned char request[9];
        fillInsertionRequest(request, kInsertionEnableEscape, mask);
        std::string out(static_cast<size_t>(outSize), '\0');
        int returned = 0;
        if (port.insertionControl(request, 9, reinterpret_cast<unsigned char*>(out.data()), outSize, &returned)
            && returned > 0) {
            out.resize(static_cast<size_t>(std::min(returned, outSize)));
            pending = out;
        }
        refreshStamp = Vexa_GetTickCount();
    }

    int pendingLeft() const { return static_cast<int>(pending.size() - pendingPos); }

    std::string pending;
    size_t pendingPos = 0;
    unsigned mask = kInsertionDefaultMask;
    unsigned long long refreshStamp = 0;

private:
    void reopen() override { open(); }
};

SmartSerialDevice::SmartSerialDevice(const std::string& portName)
    : d(std::make_unique<SmartSerialDevicePrivate>())
{
    const int number = Serial::comNumber(portName);
    if (portName.size() > 3 && number > 0)
        d->name = "COM" + std::to_string(number);
    std::lock_guard<std::mutex> lock(d->mutex);
    d->lastOpenAttempt = Vexa_GetTickCount();
    d->open();
}

SmartSerialDevice::~SmartSerialDevice() = default;

bool SmartSerialDevice::readable()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!d->ensureOpen())
        return false;
    if (d->pendingLeft() > 0)
        return true;
    const Serial::Status st = d->inputStatus();
    if (!st.ok)
        return false;
    if (st.queued > 0)
        return true;
    const unsigned long long now = Vexa_GetTickCount();
    const unsigned long long since = now > d->refreshStamp ? now - d->refreshStamp : d->refreshStamp - now;
    if (since > static_cast<unsigned long long>(kInsertionRefreshMs)) {
        d->enableInsertion();
        return d->pendingLeft() > 0;
    }
    return false;
}

bool SmartSerialDevice::writable()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->writable();
}

int SmartSerialDevice::read(char* dst, int len)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!dst || len <= 0)
        return 0;
    if (!d->ensureOpen())
        return -1;
    int copied = std::min(len, d->pendingLeft());
    if (copied > 0) {
        std::memcpy(dst, d->pending.data() + d->pendingPos, static_cast<size_t>(copied));
        d->pendingPos += static_cast<size_t>(copied);
        if (d->pendingLeft() == 0) {
            d->pending.clear();
            d->pendingPos = 0;
        }
    }
    if (copied < len) {
        const int n = d->port.read(dst + copied, len - copied);
        d->forgetCount();
        if (n < 0) {
            d->inputStatus(); // closes a port that went away
            return copied > 0 ? copied : -2;
        }
        copied += n;
    }
    return copied;
}

int SmartSerialDevice::write(const char* data, int len)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const int written = d->write(data, len);
    if (written > 0)
        d->refreshStamp = Vexa_GetTickCount();
    return written;
}

int SmartSerialDevice::available()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (!d->ensureOpen())
        return -1;
    const Serial::Status st = d->inputCount();
    return (st.ok ? st.queued : 0) + d->pendingLeft();
}

int SmartSerialDevice::waitDescriptor()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->port.descriptor();
}

unsigned SmartSerialDevice::optionMask()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->mask;
}

} // namespace TransparentPort
