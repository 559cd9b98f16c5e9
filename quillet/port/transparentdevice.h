#pragma once

#include <memory>

namespace TransparentPort {

class IDevice;
class TransparentDevicePrivate;

// Owns one serial device and one TCP device and moves bytes between them
// through two 8192-byte buffers.
class TransparentDevice {
public:
    TransparentDevice(std::unique_ptr<IDevice> serial, std::unique_ptr<IDevice> tcp);
    ~TransparentDevice();
    TransparentDevice(const TransparentDevice&) = delete;
    TransparentDevice& operator=(const TransparentDevice&) = delete;

    // What the panel sent, on to the serial port as far as it takes it.
    int pumpTcpToSerial();
    // What the PC side wrote, on to the panel.
    int pumpSerialToTcp();

    // Waits up to timeoutMs on both devices at once: input on either (while
    // its buffer has room), or room on one that has bytes waiting for it,
    // ends the wait at once.
    void waitForTraffic(int timeoutMs);
    // Bytes read from and written to both devices so far.
    long long bytesMoved() const;

    IDevice* serialDevice() const;
    IDevice* tcpDevice() const;
    unsigned long long lastSerialData() const;
    unsigned long long lastTcpData() const;

private:
    std::unique_ptr<TransparentDevicePrivate> d;
};

} // namespace TransparentPort
