#pragma once

#include <string>

namespace Testing {

// Gives the calling process a mount namespace of its own in which
// /etc/resolv.conf names a loopback name server of its own, an address of
// 127.254.0.0/16 picked by the process id (loopbackNameServer()), so a
// lookup of a name that /etc/hosts does not hold never asks the machine's
// resolver (tests never send to other hosts). With nothing listening there a
// lookup fails at once; a SilentNameServer makes it wait out the resolver's
// time-out (3 s) instead.
// Call it before the process's first lookup and before it starts threads of
// its own (threads share the mount namespace only when made afterwards).
// Idempotent. Needs root; false with the reason otherwise.
bool useLoopbackResolver(std::string* why);

std::string loopbackNameServer();

// A UDP socket on the loopback name server's port 53 that reads nothing and
// answers nothing, for as long as it lives. Several may exist at once.
class SilentNameServer {
public:
    SilentNameServer();
    ~SilentNameServer();
    SilentNameServer(const SilentNameServer&) = delete;
    SilentNameServer& operator=(const SilentNameServer&) = delete;
    bool isListening() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace Testing
