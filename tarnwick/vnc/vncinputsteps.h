#pragma once

// Pointer and key events: never installed as the current step, they write
// their message at once whenever the worker hands them an event.

#include "tarnwick/vnc/vncprotocol.h"

#include <QtGlobal>

namespace VNC {

class VncMouse : public VncProtocol {
public:
    void setPointer(quint8 buttons, int x, int y);
    void run() override;

private:
    quint8 buttons = 0;
    qint32 x = 0;
    qint32 y = 0;
};

class VncKey : public VncProtocol {
public:
    void setKey(quint32 keysym, quint8 down);
    void run() override;

private:
    quint32 keysym = 0;
    quint8 down = 0;
};

} // namespace VNC
