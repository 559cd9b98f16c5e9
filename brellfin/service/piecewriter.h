#pragma once

// Writes the pieces of a fetched file through one buffer: the file takes
// them in large writes instead of one write per piece. What the file has
// accepted is known at every moment, so that a piece is reported done only
// once it is stored, and a failed write (a full disk) is seen before that.

#include <QFile>

#include <cstddef>
#include <cstdint>
#include <vector>

class PieceWriter {
public:
    // Writes at file's current position onwards; the file must stay open
    // while the writer holds bytes.
    PieceWriter(QFile& file, std::size_t capacity);
    // What is still held goes to the file (received bytes are kept for a
    // later resume); a failure is no longer reported.
    ~PieceWriter();
    PieceWriter(const PieceWriter&) = delete;
    PieceWriter& operator=(const PieceWriter&) = delete;

    // Takes the bytes; writes the buffer out when it is full. False when a
    // write failed: nothing more is taken.
    bool add(const void* bytes, std::size_t count);
    // Writes out what is held. False when that (or an earlier) write failed.
    bool flush();
    // Forgets what is held, and a failure, for a file started anew.
    void discard();
    // Bytes taken that the file has accepted.
    std::uint64_t stored() const { return m_stored; }
    bool failed() const { return m_failed; }

private:
    QFile& m_file;
    std::vector<char> m_buffer;
    std::size_t m_held = 0;
    std::uint64_t m_stored = 0;
    bool m_failed = false;
};
