// The MD5 of a byte stream fed in order, with the count of bytes fed: a
// transfer hashes each piece as it passes instead of reading the file again
// for its digest. Hashing stays on the feeding thread: a worker of its own
// proved slower, competing with the transfer's own threads for the CPU.
#pragma once

#include "framework/utils/fftypes.h"

#include <QCryptographicHash>

#include <cstddef>
#include <cstdint>
#include <vector>

class RunningMd5 {
public:
    // A new stream: whatever was fed before is forgotten.
    void reset();
    void add(const void* bytes, std::size_t count);
    // Bytes fed since the last reset.
    std::uint64_t size() const { return m_size; }
    // The 16-byte digest of the stream fed so far.
    std::vector<FF::byte> result() const;

private:
    QCryptographicHash m_hash{QCryptographicHash::Md5};
    std::uint64_t m_size = 0;
};
