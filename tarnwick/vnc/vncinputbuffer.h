#pragma once

// The bytes the server sent, held in one reusable buffer that every step and
// the Hextile decoder take their bytes from. The buffer is filled from a
// source (the connection's socket, or recorded bytes) in large pieces and
// never waits: a reader that finds fewer bytes than it needs returns, and
// goes on where it stopped once more have arrived. A step that finds its
// bytes here reads them in place, without a copy or an allocation per
// message, and the decoder can draw several tiles from one fill.

#include <QByteArray>
#include <QElapsedTimer>
#include <QtGlobal>

#include <algorithm>
#include <functional>
#include <vector>

namespace VNC {

class VncInputBuffer {
public:
    // Appends at most `max` bytes at `to` without waiting and returns how
    // many (0: none have arrived), or -1 once the stream has ended.
    using Source = std::function<qint64(char* to, qint64 max)>;

    // readAhead: how much room to offer the source beyond what a reader
    // needs. silenceLimitMs: how long a reader that is short of bytes waits
    // for the server's next byte before its read fails (0: no limit); the
    // time counts from the last byte that came or from the start of the
    // wait, whichever is later.
    explicit VncInputBuffer(Source source = Source(), qint64 readAhead = 0, int silenceLimitMs = 0);

    // A new source (a new connection): the bytes held are dropped.
    void setSource(Source source);
    void setSilenceLimit(int ms) { m_silenceLimitMs = std::max(ms, 0); }

    // Bytes held, after taking what the source has.
    qint64 available();
    // Bytes held, without asking the source.
    qint64 held() const { return m_end - m_begin; }
    // Takes what the source has; true when at least count bytes are held.
    // When it falls short, the reader waits for the rest (waiting() holds)
    // until they have come or the read failed().
    bool ensure(qint64 count);
    // The bytes a reader is short of will not come: the stream has ended, or
    // the server has sent nothing for the silence limit.
    bool failed() const;
    // How long the waiting reader may still wait before failed() holds: 0
    // once it does, -1 when there is no limit.
    qint64 silenceLeftMs() const;
    // A reader fell short and has taken nothing since: it waits for more.
    bool waiting() const { return m_wanted > held(); }
    // The bytes held; valid until the next available(), ensure() or read().
    const uchar* data() const { return m_storage.data() + m_begin; }
    // Drops count held bytes (at most held()).
    void consume(qint64 count);
    // Copies exactly count bytes into out and consumes them; false (out
    // empty) when fewer have arrived.
    bool read(qint64 count, QByteArray& out);
    // Every byte consumed since the source was set; a reader that sees it
    // unchanged made no progress.
    quint64 consumedTotal() const { return m_consumedTotal; }

private:
    void pull(qint64 needed);

    Source m_source;
    qint64 m_readAhead = 0;
    int m_silenceLimitMs = 0;
    std::vector<uchar> m_storage;
    qint64 m_begin = 0;
    qint64 m_end = 0;
    qint64 m_wanted = 0;
    quint64 m_consumedTotal = 0;
    bool m_ended = false;
    // Since the source last gave bytes, or a reader began to wait (or the
    // source was set).
    QElapsedTimer m_silence;
};

} // namespace VNC
