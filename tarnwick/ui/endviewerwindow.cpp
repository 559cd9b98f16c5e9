#include "tarnwick/ui/endviewerwindow.h"

#include "tarnwick/vnc/vncviewerwindow.h"

void endViewerWindow(std::unique_ptr<VncViewerWindow>& window)
{
    VncViewerWindow* ending = window.release();
    if (!ending)
        return;
    ending->close();
    ending->deleteLater();
}
