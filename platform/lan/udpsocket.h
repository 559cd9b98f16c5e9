#pragma once

// An IPv4 UDP socket for LAN discovery: broadcast, timeouts, waiting for a
// datagram with a time limit. Addresses are IPv4 in host byte order.

#include "platform/fd/uniquefd.h"

#include <QByteArray>
#include <QtGlobal>

class UdpSocket {
public:
    enum class Wait { Ready, Timeout, Error };

    UdpSocket() = default;

    bool open();
    bool isOpen() const { return m_fd.valid(); }
    void close() { m_fd.reset(); }
    int handle() const { return m_fd.get(); }

    bool setBroadcast(bool on);
    bool setSendTimeout(int ms);
    bool setReceiveTimeout(int ms);
    bool setReuseAddress(bool on);

    bool bind(quint32 address, quint16 port);
    quint16 localPort() const;

    qint64 sendTo(const QByteArray& bytes, quint32 address, quint16 port);
    Wait waitReadable(int timeoutMs);
    // One datagram into buffer; -1 on error and for a datagram longer than
    // the buffer (its end would be lost).
    qint64 receiveFrom(char* buffer, qint64 size, quint32* sourceAddress, quint16* sourcePort);

private:
    platform::UniqueFd m_fd;
};
