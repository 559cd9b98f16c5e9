#pragma once

namespace TransparentPort {

// A byte-stream device that opens and reopens itself on demand.
// Results: -1 not open or not connected, -2 a failed read, -3 nothing written.
class IDevice {
public:
    virtual ~IDevice() = default;
    virtual bool readable() = 0;
    virtual bool writable() = 0;
    virtual int read(char* dst, int len) = 0;
    virtual int write(const char* data, int len) = 0;
    virtual int available() = 0;
};

// A device whose traffic a waiting thread can watch: the descriptor it has
// open now, or -1. The descriptor may be closed by another caller meanwhile,
// so it is good only for a short wait.
class IWaitable {
public:
    virtual ~IWaitable() = default;
    virtual int waitDescriptor() = 0;
};

} // namespace TransparentPort
