#pragma once

namespace TransparentPort {

class IDevice;

// A bounded byte buffer between two devices.
class IBuffer {
public:
    virtual ~IBuffer() = default;
    virtual int write(const char* data, int len) = 0;
    virtual int readFrom(IDevice* device) = 0;
    virtual int read(char* dst, int len) = 0;
    virtual int writeTo(IDevice* device) = 0;
    virtual int resize(int size) = 0;
    virtual int capacity() = 0;
    virtual int size() = 0;
};

} // namespace TransparentPort
