#pragma once

#include "quillet/port/idevice.h"

#include <memory>
#include <string>

namespace TransparentPort {

class SmartSerialDevicePrivate;

// Quillet's own end of the virtual port pair ("COMn", fixed 19200 8N1). The
// pair's driver inserts its line-state sequences into the input; they are
// handed on unchanged, and asked for again after 10 s without traffic.
class SmartSerialDevice : public IDevice, public IWaitable {
public:
    explicit SmartSerialDevice(const std::string& portName);
    ~SmartSerialDevice() override;

    bool readable() override;
    bool writable() override;
    int read(char* dst, int len) override;
    int write(const char* data, int len) override;
    int available() override;

    int waitDescriptor() override;
    // The driver option mask the last open settled on.
    unsigned optionMask();

private:
    std::unique_ptr<SmartSerialDevicePrivate> d;
};

} // namespace TransparentPort
