#pragma once

// Ends a viewer window that a page or the main window opened. Slots call it
// instead of resetting their owner: the call may come from inside the
// window's own nested loops (its password dialog), and the window must
// outlive them. The window is closed at once (its connection ends) and handed
// to the event loop, which deletes it once control is back there; the
// caller's owner becomes empty. Destructors, which never run inside the
// window's loops, may reset the owner directly.

#include <memory>

class VncViewerWindow;

void endViewerWindow(std::unique_ptr<VncViewerWindow>& window);
