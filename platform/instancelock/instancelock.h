#pragma once

// The single-instance lock of a program: one lock file per instance name,
// held with an exclusive flock for as long as the object holds it.
//
// The file lies in the user's runtime folder (XDG_RUNTIME_DIR); where that is
// unset, in the data folder the caller names. It is opened 0600 with
// O_CLOEXEC, so a child program never inherits the lock, and it is never
// removed: the kernel drops the lock when the holding process ends, however
// it ends, and the next copy simply takes it.
//
// Instance names may hold any bytes ("Global/Tarnwick"): fileNameFor() keeps
// letters, digits, '-', '_' and '.', writes every other byte as %XX and adds
// ".lock", so a name never leaves the folder and two names never share a file.

#include "platform/fd/uniquefd.h"

#include <string>

namespace Platform {

enum class LockResult {
    Acquired,      // this object holds the lock now
    HeldElsewhere, // another open of the file (another copy) holds it
    CannotOpen     // no folder, the file cannot be made or opened, or flock failed
};

class InstanceLock {
public:
    // fallbackFolder: used when XDG_RUNTIME_DIR is unset or empty; made (0700)
    // when missing.
    explicit InstanceLock(const std::string& name, const std::string& fallbackFolder = {});
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Opens the file and tries the lock once, without waiting. Calling it
    // again while held returns Acquired.
    LockResult acquire();
    void release();
    bool held() const { return m_fd.valid(); }

    // The lock file's path (empty when no folder was known).
    const std::string& path() const { return m_path; }
    // errno of the last failure.
    int lastError() const { return m_error; }

    static std::string fileNameFor(const std::string& name);

private:
    std::string m_path;
    std::string m_folder;
    platform::UniqueFd m_fd;
    int m_error = 0;
};

} // namespace Platform
