#pragma once

// Sees, from outside the programs, when a process first shows a window on an
// X display: a window whose _NET_WM_PID names the process becomes viewable
// (mapped, with every ancestor mapped too, so under a window manager its
// frame as well). It listens for the root's children being made and mapped
// and for each such window's own map, so the moment is taken from the event,
// not from polling.

#include <xcb/xcb.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>

#include <sys/types.h>

class WindowWatch {
public:
    using Clock = std::chrono::steady_clock;

    explicit WindowWatch(const std::string& display);
    ~WindowWatch();
    WindowWatch(const WindowWatch&) = delete;
    WindowWatch& operator=(const WindowWatch&) = delete;

    bool connected() const { return m_connection != nullptr; }

    // Forgets the windows seen so far; call before the program is started,
    // so that none of its windows is made unseen.
    void reset();
    // The moment a window of `pid` became viewable, or nothing when none did
    // before `deadline`.
    std::optional<Clock::time_point> waitViewable(pid_t pid, Clock::time_point deadline);

    // True when a window manager holds the screen's WM_S0 selection.
    bool windowManagerRunning();
    // How many windows were found by asking the server after 100 ms without
    // events rather than from their map events (their moment is up to 100 ms late).
    int foundByAsking() const { return m_foundByAsking; }

private:
    struct Window {
        std::optional<pid_t> pid; // _NET_WM_PID once read
    };

    void handle(xcb_generic_event_t* event, pid_t pid, Clock::time_point at,
                std::optional<Clock::time_point>* viewable);
    void follow(xcb_window_t window);
    bool checkAll(pid_t pid);
    bool isViewableWindowOf(xcb_window_t window, Window& known, pid_t pid);
    xcb_atom_t atom(const char* name);

    xcb_connection_t* m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_pidAtom = 0;
    std::map<xcb_window_t, Window> m_windows;
    int m_foundByAsking = 0;
};
