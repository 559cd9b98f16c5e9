#pragma once

// A private X display for the start-up bench: Xvfb at a given DPI with
// openbox managing it, both started here and ended with the object. Ready
// only once the server takes connections and the window manager holds the
// screen, so the first measured program never races either of them.

#include "bench/startup/launchedprocess.h"
#include "bench/startup/windowwatch.h"

#include <memory>
#include <string>
#include <vector>

class XSession {
public:
    // display: ":170"; folder: a scratch folder for the programs' output
    // and openbox's settings (its HOME).
    XSession(std::string display, int dpi, std::string folder);
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // False with *error set when Xvfb or openbox could not be made ready
    // within 20 s.
    bool start(std::string* error);

    const std::string& display() const { return m_display; }
    int dpi() const { return m_dpi; }
    WindowWatch& watch() { return *m_watch; }

private:
    std::string m_display;
    int m_dpi;
    std::string m_folder;
    LaunchedProcess m_server;
    LaunchedProcess m_windowManager;
    std::unique_ptr<WindowWatch> m_watch;
};
