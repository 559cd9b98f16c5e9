#pragma once

// A stand-in for a panel's UDP discovery responder, on loopback. It listens
// on a UDP port (shared with other responders through SO_REUSEADDR, so one
// broadcast to 127.255.255.255 reaches them all) and answers every probe from
// its own source address, with a reply that tests can bend: identity, kind,
// header and count fields, payload, trailing bytes, repeated answers.

#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <mutex>
#include <optional>
#include <thread>

class FakeDiscoveryResponder {
public:
    struct Config {
        QByteArray sourceAddress = "127.20.0.10"; // replies come from here
        QByteArray text = "HMI-PANEL";            // first text of the reply
        QByteArray reportedAddress = "192.168.1.50";
        quint32 value = 7;
        quint8 kind = 1;
        quint32 idDelta = 0;                  // added to the probe's id
        std::optional<quint32> payloadLength; // header field; default: the real length
        std::optional<quint32> textCount;     // count fields; default: the real lengths
        std::optional<quint32> addressCount;
        bool omitValue = false;
        QByteArray trailing;                  // bytes after the value
        std::optional<QByteArray> rawPayload; // replaces the whole payload
        int repeatIntervalMs = 0;             // > 0: answer the last probe again and again
        bool silent = false;                  // count probes, answer nothing
    };

    // port 0 picks a free port; pass another responder's port to share it.
    FakeDiscoveryResponder();
    explicit FakeDiscoveryResponder(const Config& config, quint16 port = 0);
    ~FakeDiscoveryResponder();
    FakeDiscoveryResponder(const FakeDiscoveryResponder&) = delete;
    FakeDiscoveryResponder& operator=(const FakeDiscoveryResponder&) = delete;

    bool isListening() const { return m_listenFd >= 0 && m_replyFd >= 0; }
    quint16 port() const { return m_port; }
    int probesSeen() const { return m_probes.load(); }
    int repliesSent() const { return m_replies.load(); }
    QByteArray lastProbe() const;

    // The reply to a probe with this id under this configuration.
    static QByteArray buildReply(const Config& config, quint32 probeId);

private:
    void loop();
    void reply(quint32 id, quint32 address, quint16 port);

    Config m_config;
    int m_listenFd = -1;
    int m_replyFd = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_probes{0};
    std::atomic<int> m_replies{0};
    mutable std::mutex m_mutex;
    QByteArray m_lastProbe;
    std::thread m_thread;
};
