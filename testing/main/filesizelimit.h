#pragma once

// Lowers this process's file-size limit for one scope, so that a file opens
// but writes past `bytes` fail (with SIGXFSZ ignored, as EFBIG); the old limit
// and signal handler come back when the scope ends, also after a failed
// assertion.

#include <csignal>
#include <sys/resource.h>

namespace TestLimits {

class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        if (::getrlimit(RLIMIT_FSIZE, &m_old) != 0)
            return;
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = m_old;
        small.rlim_cur = bytes;
        m_active = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit()
    {
        if (m_oldHandler == SIG_ERR)
            return;
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    // False when the limit could not be set; the test cannot go on then.
    bool active() const { return m_active; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = SIG_ERR;
    bool m_active = false;
};

} // namespace TestLimits
