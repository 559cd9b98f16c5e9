#pragma once

// The setup program of the virtual port pair, run for one test in its own
// folders: a temporary COM folder (TW_COM_DIR), a temporary state folder
// (TW_VCOM_STATE_DIR) and an empty real-port folder (TW_TTY_CLASS_DIR), so
// the machine's own UARTs never count as taken. The destructor uninstalls the
// pair, kills a daemon that outlived that, and removes the folders; the
// variables get their old values back.

#include "testing/main/tempfolder.h"
#include "testing/serialpair/tempcomfolder.h"

#include <string>
#include <vector>

namespace VcomTesting {

struct ToolResult {
    int exitCode = -1;  // -1: killed at the time limit or not started
    std::string output; // standard output and error, merged
};

class SetupcHarness {
public:
    SetupcHarness();
    ~SetupcHarness();
    SetupcHarness(const SetupcHarness&) = delete;
    SetupcHarness& operator=(const SetupcHarness&) = delete;

    // The built setup program (absolute).
    static std::string toolPath();
    // Its folder, "…/virtualcom/x64".
    static std::string toolFolder();

    ToolResult run(const std::vector<std::string>& args, int timeoutMs = 15000) const;

    // preinstall and install as the pass-through tool does it, then names the
    // user's end; true when every step exited 0.
    bool installPair(const std::string& own = "COM3", const std::string& user = "COM2") const;

    // The pid the daemon wrote, or -1.
    int daemonPid() const;
    // Alive and not a zombie.
    static bool processAlive(int pid);

    const SerialTesting::TempComFolder& com() const { return m_com; }
    const std::string& comFolder() const { return m_com.path(); }
    const std::string& stateFolder() const { return m_state.path(); }
    // Stands for /sys/class/tty: a UART is a folder "ttyS<n>" with a file "type" other than 0.
    const std::string& ttyFolder() const { return m_ttys.path(); }

private:
    SerialTesting::TempComFolder m_com;
    TestFolder::TempFolder m_state{"vcomstate"};
    TestFolder::TempFolder m_ttys{"vcomttys"};
    std::vector<std::pair<std::string, std::string>> m_saved; // variable, old value ("\1" when unset)
};

} // namespace VcomTesting
