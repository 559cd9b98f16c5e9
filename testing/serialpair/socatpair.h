#pragma once

// A socat pty pair linked into a COM folder: folder/<first> and
// folder/<second> are the two ends; bytes written to one come out of the other.
// No shell is involved; the child is killed and reaped by the destructor.

#include <string>
#include <sys/types.h>

namespace SerialTesting {

class SocatPair {
public:
    SocatPair(const std::string& folder, const std::string& first, const std::string& second);
    ~SocatPair();
    SocatPair(const SocatPair&) = delete;
    SocatPair& operator=(const SocatPair&) = delete;

    // Starts socat and waits (10 s at most) until both links exist.
    bool start();
    // Kills socat at once (SIGKILL) and reaps it.
    void kill();
    bool running() const { return m_pid > 0; }
    std::string firstPath() const { return m_folder + "/" + m_first; }
    std::string secondPath() const { return m_folder + "/" + m_second; }

private:
    std::string m_folder;
    std::string m_first;
    std::string m_second;
    pid_t m_pid = -1;
};

} // namespace SerialTesting
