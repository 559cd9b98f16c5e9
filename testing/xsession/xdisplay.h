#pragma once

// What an X server and its window manager tell of the windows on a display,
// read with x11-utils (xprop, xwininfo): the top-level windows it manages,
// where each is and the frame around it, the work area; and pictures of the
// screen, taken by a small program of this module.

#include <gtest/gtest.h>

#include <QList>
#include <QMargins>
#include <QRect>
#include <QString>

#include <optional>

namespace TestX {

// A window as the X server has it, with the frame that the window manager
// put around it.
struct FramedWindow {
    QRect client;
    QMargins frame;
    QRect outer() const { return client.marginsAdded(frame); }
    // "x,y wxh with frame l,t,r,b", for messages.
    QString text() const;
};

// Whether the window, frame included, lies within area and in its middle
// (a pixel off at most, across and down).
::testing::AssertionResult centredWithin(const QRect& area, const FramedWindow& window);

class XDisplay {
public:
    // The display named ":N"; current() is the one DISPLAY names.
    explicit XDisplay(const QString& name = QString());
    static XDisplay current();
    QString name() const { return m_name; }

    // What the window manager offers windows: the screen less its panels
    // (_NET_WORKAREA); empty when it says nothing.
    QRect workArea() const;
    // The top-level windows the window manager manages (_NET_CLIENT_LIST),
    // in the order it took them on.
    QList<quint64> clientWindows() const;
    // The first managed window of the process pid (_NET_WM_PID) that the
    // window manager has framed; 0 while there is none.
    quint64 framedWindowOf(qint64 pid) const;
    // The same once it has settled (settledWindow), waiting for it at most
    // timeoutMs; nothing when there is none by then.
    std::optional<FramedWindow> settledWindowOf(qint64 pid, int timeoutMs = 60000) const;
    QString windowTitle(quint64 window) const;
    // Where window is and its frame; nothing while the window manager has not
    // framed it (_NET_FRAME_EXTENTS).
    std::optional<FramedWindow> framedWindow(quint64 window) const;
    // The same once it has settled: framed, and in the same place at two
    // reads kSettleMs apart; nothing when it has not within timeoutMs.
    std::optional<FramedWindow> settledWindow(quint64 window, int timeoutMs = 30000) const;
    static constexpr int kSettleMs = 200;
    // Sets a text on the root window (TW_SESSION_MARK), and reads it back;
    // false, and empty, when no client reaches the server.
    bool markRoot(const QString& mark) const;
    QString rootMark() const;
    // A picture of the whole screen, into a PNG file.
    bool grabScreen(const QString& file) const;

private:
    // A tool's standard output; empty when it fails or takes over 10 s.
    QString run(const QString& tool, const QStringList& arguments) const;
    QString property(quint64 window, const char* name) const;

    QString m_name;
};

} // namespace TestX
