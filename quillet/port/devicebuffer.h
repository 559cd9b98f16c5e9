#pragma once

#include "quillet/port/ibuffer.h"

#include <memory>

namespace TransparentPort {

struct DeviceBufferRecord;

// The 8192-byte buffer of one direction. When full, the newest bytes win for
// direct writers; readFrom takes only what fits and leaves the rest in the
// source device.
class DeviceBuffer : public IBuffer {
public:
    DeviceBuffer();
    ~DeviceBuffer() override;

    int write(const char* data, int len) override;
    int readFrom(IDevice* device) override;
    int read(char* dst, int len) override;
    int writeTo(IDevice* device) override;
    int resize(int size) override;
    int capacity() override;
    int size() override;

private:
    std::unique_ptr<DeviceBufferRecord> d;
};

} // namespace TransparentPort
