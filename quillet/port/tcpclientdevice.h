#pragma once

#include "quillet/port/idevice.h"

#include <memory>
#include <string>

namespace TransparentPort {

struct TcpClientDeviceRecord;

// The non-blocking TCP link to the panel's pass-through port. Every operation
// first advances the link (closed → connecting → connected); a link that
// received nothing for 5 s, or whose peer closed, is closed and the next
// operation connects anew. After a hard connect error no connect is tried
// for 10 s, and operations report not connected at once meanwhile.
class TcpClientDevice : public IDevice, public IWaitable {
public:
    TcpClientDevice(const std::string& ip, int port);
    ~TcpClientDevice() override;

    bool readable() override;
    bool writable() override;
    int read(char* dst, int len) override;
    int write(const char* data, int len) override;
    int available() override;

    int waitDescriptor() override;

private:
    std::unique_ptr<TcpClientDeviceRecord> d;
};

} // namespace TransparentPort
