#pragma once

// Where a program's top-level window opens: within the available area of the
// screen it opens on (the screen less the desktop's panels and task bars),
// with the frame that the window manager puts around it (title bar and
// borders), and centred there, or over the window it belongs to; and how
// wide a window must be for the title bar to show its title whole. Windows
// answers both from the system (the monitor's work area, the frame of a
// window style); an X11 window manager gives a window its frame only once it
// manages it (_NET_FRAME_EXTENTS, after the window is shown). Until then the
// frame of another framed window of the program stands in for it, or an
// allowance as large as the common window managers' frames, and the window is
// placed once more when its own frame turns out to differ. The offscreen
// platform's screen is a stand-in that nobody sees: windows keep their size
// and place there.

#include <QMargins>
#include <QRect>
#include <QSize>

class QScreen;
class QWidget;

namespace Platform {

class WindowFit {
public:
    // The screen window opens on: that of the window it belongs to, if any,
    // else its own.
    static QScreen* screenOf(const QWidget* window);
    // The available area of that screen, in Qt's device-independent pixels;
    // empty on the offscreen platform.
    static QRect availableArea(const QWidget* window);
    // The frame around window: none for a frameless one; its own once the
    // window manager has framed it; until then another framed window's of
    // the program, else frameAllowance at the screen's DPI.
    static QMargins frameOf(const QWidget* window);
    // The largest client area window can have with its frame within the
    // available area; no bound (QWIDGETSIZE_MAX) without such an area.
    static QSize clientRoom(const QWidget* window);
    // The client width at which the window manager's title bar has room for
    // window's whole title. A program cannot ask the window manager for its
    // title font, so the title is measured in the program's font, bold (the
    // common window managers draw titles in a bold face of about that size;
    // openbox's own is 8 pt bold sans), beside room for the window icon, the
    // three buttons and the paddings around them: six times the height of
    // the frame's top. 0 for a frameless window, an empty title, or where no
    // window manager draws one (the offscreen platform).
    static int titleWidth(const QWidget* window);

    // Resizes window to at most clientRoom, never below its minimum size,
    // and moves it so that its frame lies centred on the available area, or
    // over the visible window it belongs to, and within the available area:
    // all of it where it fits, its title bar always. Call it with the
    // window's size set, before it is shown or when its size is set anew. A
    // window shown with a frame other than the one expected is placed again
    // once, as soon as its frame is known (within kFrameWatchMs of showing).
    static void fitAndCentre(QWidget* window);
    // Whether window, placed before its frame was known, still waits for
    // the frame to place itself again.
    static bool awaitsFrame(const QWidget* window);

    // The frame taken for a window manager's that is not known yet at dpi:
    // 40 px of title bar and 8 px of border at 96 DPI, in proportion.
    static QMargins frameAllowance(qreal dpi);
    // Where a frame of frameSize goes: centred over the rectangle over and
    // moved into available; a frame too large for it starts at its top or
    // left edge.
    static QRect placeFrame(const QSize& frameSize, const QRect& available, const QRect& over);

    // How long after showing a window its frame is waited for.
    static constexpr int kFrameWatchMs = 3000;
};

} // namespace Platform
