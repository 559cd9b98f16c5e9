#pragma once

// A pty pair made in the test itself: the test keeps the master, the slave's
// name is what a COM entry links to.

#include <string>

namespace SerialTesting {

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    int master() const { return m_master; }
    const std::string& slaveName() const { return m_slaveName; }
    void closeMaster();

    // Writes all of data to the master (blocking with a 5 s limit).
    bool writeAll(const std::string& data);
    // Reads from the master until `count` bytes came or `timeoutMs` passed.
    std::string readFor(size_t count, int timeoutMs);

private:
    int m_master = -1;
    int m_slaveKeeper = -1; // keeps the slave side alive while no port holds it
    std::string m_slaveName;
};

} // namespace SerialTesting
