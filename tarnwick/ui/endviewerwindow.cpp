#include "tarnwick/ui/endviewerwindow.h"

#include "tarnwick/vnc/vncviewerwindow.h"

void endViewerWindow(VncViewerWindow*& window)
{
    VncViewerWindow* ending = window;
    window = nullptr;
    if (!ending)
        return;
    ending->close();
    ending->deleteLater();
}
