#pragma once

// A wake-up that any thread can give to a thread waiting in waitForInput:
// an eventfd, readable from signal() until clear(). Without one (the
// descriptor could not be made) signal() does nothing and the waiter
// notices only when its wait ends.

namespace platform {

class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // The descriptor to wait on, or -1.
    int fd() const { return m_fd; }
    // Makes the descriptor readable; never blocks.
    void signal();
    // Makes it unreadable again; never blocks.
    void clear();

private:
    int m_fd = -1;
};

} // namespace platform
