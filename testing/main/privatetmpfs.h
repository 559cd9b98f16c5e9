#pragma once

// A small tmpfs of its own for one test, so a test can fill a file system to
// its last block without touching any disk of the machine. The calling
// thread gets a mount namespace of its own, with every mount private, and
// the tmpfs is mounted there on a folder given by the test; no other
// process, and no thread made before, sees it. It is unmounted when the
// owner goes; the thread keeps its private copy of the machine's mounts.
// Needs root (CAP_SYS_ADMIN); where the mount cannot be made, `why` says why.

#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace TestLimits {

class PrivateTmpfs {
public:
    PrivateTmpfs(const std::string& folder, const std::string& size)
        : m_folder(folder)
    {
        if (::unshare(CLONE_NEWNS) != 0) {
            m_why = "cannot make a mount namespace (unshare: " + std::string(std::strerror(errno)) + ")";
            return;
        }
        // Nothing mounted here may reach the machine's own namespace.
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            m_why = "cannot make the mounts private (" + std::string(std::strerror(errno)) + ")";
            return;
        }
        const std::string options = "size=" + size + ",mode=0700";
        if (::mount("tw-test-tmpfs", folder.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
            m_why = "cannot mount a tmpfs on " + folder + " (" + std::strerror(errno) + ")";
            return;
        }
        m_mounted = true;
    }
    ~PrivateTmpfs()
    {
        if (m_mounted)
            ::umount2(m_folder.c_str(), MNT_DETACH);
    }
    PrivateTmpfs(const PrivateTmpfs&) = delete;
    PrivateTmpfs& operator=(const PrivateTmpfs&) = delete;

    bool mounted() const { return m_mounted; }
    const std::string& why() const { return m_why; }

private:
    std::string m_folder;
    std::string m_why;
    bool m_mounted = false;
};

} // namespace TestLimits
