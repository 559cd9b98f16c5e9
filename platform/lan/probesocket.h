#pragma once

// A non-blocking IPv4 TCP connect that tells whether a port accepts
// connections, and the poll over many of them. Nothing is ever sent.

#include "platform/fd/uniquefd.h"

#include <QByteArray>
#include <QtGlobal>

#include <vector>

class ProbeSocket {
public:
    enum class Create { Ok, NoDescriptors, Failed };
    enum class Connect { Connected, InProgress, Failed };
    enum class Outcome { Pending, Reachable, Unreachable };

    ProbeSocket() = default;

    // NoDescriptors when the process or the system is out of descriptors
    // (worth a retry once others are closed).
    Create create();
    bool setNonBlocking();
    Connect connectTo(quint32 address, quint16 port);
    int handle() const { return m_fd.get(); }
    void close() { m_fd.reset(); }

    // Polls every socket for the end of its connect, for at most timeoutMs;
    // outcomes[i] belongs to sockets[i]. A refused, reset or failed connect
    // (POLLERR, POLLHUP or a pending error) is Unreachable.
    static void poll(const std::vector<const ProbeSocket*>& sockets, std::vector<Outcome>& outcomes, int timeoutMs);

    // inet_addr's reading of an address text (host byte order); false for
    // text that does not parse (INADDR_NONE).
    static bool parseAddress(const QByteArray& text, quint32* address);
    // Dotted text of a host-order address, the form of inet_ntoa.
    static QByteArray addressText(quint32 address);

private:
    platform::UniqueFd m_fd;
};
