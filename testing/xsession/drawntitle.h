#pragma once

// How wide the window manager draws a window's title in its title bar, read
// off the screen: the title bar with the title against the same title bar
// with a blank title, the columns where the two pictures differ. A title the
// window manager had to shorten ("Input t…sword") is drawn narrower than the
// same title in a window wide enough for it. Runs in a Qt program of its own
// on the display (it sets the window's title and grabs the screen).

class QString;
class QWidget;

namespace TestX {

// The width in pixels that the title of window (shown, framed and settled)
// takes in its title bar; -1 when the window is not framed, or its title bar
// did not change in timeoutMs when the title was blanked. Leaves the window
// with its title, drawn again.
int drawnTitleWidth(QWidget& window, int timeoutMs = 30000);

// The same for a plain window with that title, as wide as the screen's
// available area allows: how wide the window manager draws the title whole.
int drawnTitleWidthWhole(const QString& title, int timeoutMs = 30000);

} // namespace TestX
