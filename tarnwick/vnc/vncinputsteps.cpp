#include "tarnwick/vnc/vncinputsteps.h"

#include "tarnwick/vnc/vncconstants.h"

namespace VNC {

void VncMouse::setPointer(quint8 b, int px, int py)
{
    buttons = b;
    x = px;
    y = py;
}

void VncMouse::run()
{
    QByteArray message(Constants::kPointerEventLength, '\0');
    message[0] = char(Constants::kMsgPointerEvent);
    message[1] = char(buttons);
    message[2] = char((x >> 8) & 0xFF);
    message[3] = char(x & 0xFF);
    message[4] = char((y >> 8) & 0xFF);
    message[5] = char(y & 0xFF);
    writeBytes(message);
}

void VncKey::setKey(quint32 k, quint8 d)
{
    keysym = k;
    down = d;
}

void VncKey::run()
{
    QByteArray message(Constants::kKeyEventLength, '\0');
    message[0] = char(Constants::kMsgKeyEvent);
    message[1] = char(down);
    message[4] = char((keysym >> 24) & 0xFF);
    message[5] = char((keysym >> 16) & 0xFF);
    message[6] = char((keysym >> 8) & 0xFF);
    message[7] = char(keysym & 0xFF);
    writeBytes(message);
}

} // namespace VNC
