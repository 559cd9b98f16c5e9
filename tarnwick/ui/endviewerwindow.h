#pragma once

// Ends a viewer window that a page or the main window opened. Slots call it
// instead of delete: the call may come from inside the window's own nested
// loops (its password dialog), and the window must outlive them. The window
// is closed at once (its connection ends) and deleted once control is back
// in the event loop; the caller's pointer becomes null. Destructors, which
// never run inside the window's loops, may delete the window directly.

class VncViewerWindow;

void endViewerWindow(VncViewerWindow*& window);
