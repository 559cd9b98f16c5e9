#pragma once

// A TCP peer on 127.0.0.1 that stands for the panel's pass-through port.
//
// Modes: Echo sends back what it receives; Silent reads and never sends;
// AcceptAndClose closes every connection at once; ResetMidStream reads
// `resetAfter` bytes, then resets the connection (RST); SlowReader reads 512
// bytes every 5 ms and sends nothing; BoundedEcho echoes too, but stops
// reading while kEchoBacklog bytes wait to go back, so that a client that does
// not read holds the peer's reading up, as a real peer's full socket does.
// One thread serves every connection; it records accepts and end-of-stream in
// the order it saw them.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Fake {

class TcpPeer {
public:
    enum class Mode { Echo, Silent, AcceptAndClose, ResetMidStream, SlowReader, BoundedEcho };
    static constexpr size_t kEchoBacklog = 16384;
    enum class Event { Accepted, EndOfStream };

    explicit TcpPeer(Mode mode, uint16_t port = 0);
    ~TcpPeer();
    TcpPeer(const TcpPeer&) = delete;
    TcpPeer& operator=(const TcpPeer&) = delete;

    // Listens (again) on the port given or last used; false when it cannot.
    bool start();
    // Closes the listener and every connection (the client sees end-of-stream).
    void stop();

    uint16_t port() const { return m_port; }
    int accepts() const { return m_accepts; }
    int openConnections() const { return m_open; }
    long long received() const { return m_received; }
    std::vector<Event> events() const;
    // Everything received so far (kept in every mode but ResetMidStream).
    std::string receivedBytes() const;
    // Queues bytes for every open connection.
    void send(const std::string& data);
    void setResetAfter(long long bytes) { m_resetAfter = bytes; }

private:
    struct Connection {
        int fd = -1;
        std::string out;
        long long in = 0;
    };
    void run();

    Mode m_mode;
    uint16_t m_port;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepts{0};
    std::atomic<int> m_open{0};
    std::atomic<long long> m_received{0};
    std::atomic<long long> m_resetAfter{65536};
    mutable std::mutex m_mutex; // guards the fields below
    std::vector<Event> m_events;
    std::string m_receivedBytes;
    std::string m_toSend;
};

} // namespace Fake
