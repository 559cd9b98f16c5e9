#include "bench/startup/windowwatch.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <poll.h>

namespace {

constexpr int kQuietCheckMs = 100;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

} // namespace

WindowWatch::WindowWatch(const std::string& display)
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(display.c_str(), &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem == 0) {
        xcb_disconnect(connection);
        return;
    }
    m_connection = connection;
    m_root = screens.data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &mask);
    m_pidAtom = atom("_NET_WM_PID");
    xcb_flush(m_connection);
}

WindowWatch::~WindowWatch()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

xcb_atom_t WindowWatch::atom(const char* name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(m_connection, 0, static_cast<uint16_t>(std::strlen(name)),
                                                            name);
    Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(m_connection, cookie, nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

bool WindowWatch::windowManagerRunning()
{
    if (!m_connection)
        return false;
    const xcb_atom_t selection = atom("WM_S0");
    Reply<xcb_get_selection_owner_reply_t> reply(
        xcb_get_selection_owner_reply(m_connection, xcb_get_selection_owner(m_connection, selection), nullptr));
    return reply && reply->owner != XCB_NONE;
}

void WindowWatch::reset()
{
    if (!m_connection)
        return;
    // Whatever is queued belongs to earlier programs.
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection))
        std::free(event);
    m_windows.clear();
}

void WindowWatch::follow(xcb_window_t window)
{
    m_windows[window] = Window{};
    // The window's own map events reach us after the window manager has
    // moved it into its frame, where the root no longer reports them; a
    // frame (a child of the root as well) reports the maps of what it holds.
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_connection, window, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_connection);
}

bool WindowWatch::isViewableWindowOf(xcb_window_t window, Window& known, pid_t pid)
{
    if (!known.pid) {
        const xcb_get_property_cookie_t cookie = xcb_get_property(m_connection, 0, window, m_pidAtom, XCB_ATOM_CARDINAL,
                                                                  0, 1);
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(m_connection, cookie, nullptr));
        if (reply && reply->format == 32 && xcb_get_property_value_length(reply.get()) == 4)
            known.pid = static_cast<pid_t>(*static_cast<const uint32_t*>(xcb_get_property_value(reply.get())));
    }
    if (!known.pid || *known.pid != pid)
        return false;
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(m_connection, xcb_get_window_attributes(m_connection, window), nullptr));
    return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
}

void WindowWatch::handle(xcb_generic_event_t* event, pid_t pid, Clock::time_point at,
                         std::optional<Clock::time_point>* viewable)
{
    switch (event->response_type & 0x7f) {
    case XCB_CREATE_NOTIFY: {
        const auto* created = reinterpret_cast<const xcb_create_notify_event_t*>(event);
        if (created->parent != m_root)
            return;
        follow(created->window);
        break; // it may have been mapped before we asked for its events
    }
    case XCB_MAP_NOTIFY: break;
    case XCB_DESTROY_NOTIFY:
        m_windows.erase(reinterpret_cast<const xcb_destroy_notify_event_t*>(event)->window);
        return;
    default: return; // errors for windows already gone, reparenting, configuration
    }
    if (!*viewable && checkAll(pid))
        *viewable = at;
}

bool WindowWatch::checkAll(pid_t pid)
{
    for (auto& [window, known] : m_windows)
        if (isViewableWindowOf(window, known, pid))
            return true;
    return false;
}

std::optional<WindowWatch::Clock::time_point> WindowWatch::waitViewable(pid_t pid, Clock::time_point deadline)
{
    if (!m_connection)
        return std::nullopt;
    std::optional<Clock::time_point> viewable;
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_connection)) {
            handle(event, pid, Clock::now(), &viewable);
            std::free(event);
        }
        if (viewable)
            return viewable;
        if (xcb_connection_has_error(m_connection))
            return std::nullopt;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return std::nullopt;
        pollfd descriptor{xcb_get_file_descriptor(m_connection), POLLIN, 0};
        if (::poll(&descriptor, 1, static_cast<int>(std::min<long long>(left, kQuietCheckMs))) == 0) {
            // Nothing for a while: a map whose event we could not have had
            // (the window was mapped before we asked for its events, inside
            // a frame mapped before it) is found by asking.
            if (checkAll(pid)) {
                ++m_foundByAsking;
                return Clock::now();
            }
        }
    }
}
