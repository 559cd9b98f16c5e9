#pragma once

// The bytes the server sent, held in one reusable buffer that every step and
// the Hextile decoder take their bytes from. The buffer is filled from a
// source (the connection's socket, or recorded bytes) in large pieces: a step
// that finds its bytes already here reads them in place, without a copy or an
// allocation per message, and the decoder can draw several tiles from one
// fill.

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <vector>

namespace VNC {

class VncInputBuffer
{
public:
    // Appends at least `min` and at most `max` bytes at `to` and returns how
    // many, or -1 when the source failed first (closed, silent for too long,
    // cancelled). With `min` 0 it takes what is there and never waits.
    using Source = std::function<qint64(char* to, qint64 min, qint64 max)>;

    // readAhead: how much to ask the source for beyond what a caller needs
    // (0: exactly what is needed, nothing of a following message).
    explicit VncInputBuffer(Source source = Source(), qint64 readAhead = 0);

    // A new source (a new connection): the bytes held are dropped.
    void setSource(Source source);

    // Bytes held, after taking without waiting what the source has.
    qint64 available();
    // Bytes held, without asking the source.
    qint64 held() const { return m_end - m_begin; }
    // Waits until at least count bytes are held; false when the source
    // failed before.
    bool ensure(qint64 count);
    // The bytes held; valid until the next available(), ensure() or read().
    const uchar* data() const { return m_storage.data() + m_begin; }
    // Drops count held bytes (at most held()).
    void consume(qint64 count);
    // Copies exactly count bytes into out and consumes them; false (out
    // empty) when they cannot be had.
    bool read(qint64 count, QByteArray& out);
    // Every byte consumed since the source was set; a reader that sees it
    // unchanged made no progress.
    quint64 consumedTotal() const { return m_consumedTotal; }

private:
    bool fill(qint64 min);

    Source m_source;
    qint64 m_readAhead = 0;
    std::vector<uchar> m_storage;
    qint64 m_begin = 0;
    qint64 m_end = 0;
    quint64 m_consumedTotal = 0;
};

} // namespace VNC
