#pragma once

#include "quillet/port/idevice.h"

#include <memory>
#include <string>

namespace TransparentPort {

class SerialDevicePrivate;

// A PC serial port opened from "COMn:<settings>" (the notation of
// "baud=19200 parity=N data=8 stop=1"). A name or settings text that is
// refused leaves the device unusable for good.
class SerialDevice : public IDevice, public IWaitable {
public:
    explicit SerialDevice(const std::string& spec);
    ~SerialDevice() override;

    bool readable() override;
    bool writable() override;
    int read(char* dst, int len) override;
    int write(const char* data, int len) override;
    int available() override;

    int waitDescriptor() override;
    // The device has a valid name and settings.
    bool usable() const;

private:
    std::unique_ptr<SerialDevicePrivate> d;
};

} // namespace TransparentPort
