#pragma once

// The base of every RFB step: one phase of the protocol, run by the dispatcher
// whenever the socket reports new bytes. A step reads what its phase needs
// (returning early while too few bytes are buffered, to go on where it
// stopped on its next run), writes its answer and installs its successor.

#include <QByteArray>

#include <memory>
#include <string>

class QTcpSocket;

namespace VNC {

class VncProtocolDispatcher;

class VncProtocol {
public:
    VncProtocol() = default;
    virtual ~VncProtocol();
    VncProtocol(const VncProtocol&) = delete;
    VncProtocol& operator=(const VncProtocol&) = delete;

    virtual void run() = 0;

    bool attach(QTcpSocket* socket, VncProtocolDispatcher* dispatcher);

protected:
    // Hands over to the next step, which runs at once. This step is destroyed
    // inside the call: afterwards it must touch none of its members.
    void setNext(std::unique_ptr<VncProtocol> step);
    // True once count bytes have arrived. Short of them, the step waits
    // (false) and runs again as more come; when they will not come (the
    // server was silent for the read time limit, or closed the connection)
    // logText is logged and the step fails with reason.
    bool awaitBytes(qint64 count, const char* step, const char* logText, const char* reason);
    bool readBytes(int count, QByteArray& out);
    // The next count bytes, taken from the connection's buffer in place
    // (valid until the next read); null when they cannot be had.
    const uchar* takeBytes(int count);
    qint64 writeBytes(const QByteArray& data);
    bool waitWritten();
    std::string password();
    void sendUpdateRequest(quint8 incremental);
    // Bytes that have arrived and no step has taken yet.
    qint64 bytesBuffered() const;

    VncProtocolDispatcher* dispatcher = nullptr;
    QTcpSocket* socket = nullptr;
};

} // namespace VNC
