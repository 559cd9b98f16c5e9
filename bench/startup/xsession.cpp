#include "bench/startup/xsession.h"

#include <cstdlib>
#include <filesystem>
#include <thread>

#include <unistd.h>

namespace {

constexpr auto kReadyLimit = std::chrono::seconds(20);

std::string findProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string folders = path && *path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t from = 0;
    while (from <= folders.size()) {
        const size_t colon = std::min(folders.find(':', from), folders.size());
        const std::string candidate = folders.substr(from, colon - from) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        from = colon + 1;
    }
    return name;
}

std::string pathVariable()
{
    const char* path = std::getenv("PATH");
    return std::string("PATH=") + (path ? path : "/usr/bin:/bin");
}

} // namespace

XSession::XSession(std::string display, int dpi, std::string folder)
    : m_display(std::move(display))
    , m_dpi(dpi)
    , m_folder(std::move(folder))
{
}

XSession::~XSession()
{
    m_watch.reset();
    m_windowManager.stop(3000);
    m_server.stop(3000);
}

bool XSession::start(std::string* error)
{
    std::filesystem::create_directories(m_folder + "/openbox-home");
    const auto deadline = std::chrono::steady_clock::now() + kReadyLimit;
    if (!m_server.start(
            findProgram("Xvfb"),
            {m_display, "-screen", "0", "1366x768x24", "-dpi", std::to_string(m_dpi), "-nolisten", "tcp", "-noreset"},
            {pathVariable()}, m_folder, m_folder + "/xvfb.txt", error))
        return false;
    for (;;) {
        m_watch = std::make_unique<WindowWatch>(m_display);
        if (m_watch->connected())
            break;
        if (!m_server.running() || std::chrono::steady_clock::now() > deadline) {
            *error = "Xvfb " + m_display + " did not take connections (see " + m_folder + "/xvfb.txt)";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }

    // Its HOME is a fresh folder, so it runs with the system's settings.
    if (!m_windowManager.start(findProgram("openbox"), {"--sm-disable"},
                               {pathVariable(), "HOME=" + m_folder + "/openbox-home", "DISPLAY=" + m_display}, m_folder,
                               m_folder + "/openbox.txt", error))
        return false;
    while (!m_watch->windowManagerRunning()) {
        if (!m_windowManager.running() || std::chrono::steady_clock::now() > deadline) {
            *error = "openbox did not take the display (see " + m_folder + "/openbox.txt)";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
