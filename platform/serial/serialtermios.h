#pragma once

// The termios line a settings text stands for: raw 8-bit input and output,
// CLOCAL|CREAD, VMIN = VTIME = 0, then data bits, parity, stop bits and flow
// control. Kept pure so that what a pty would not keep can still be checked.

#include "platform/serial/serialsettings.h"

#include <termios.h>

namespace Serial {

// Fills *t (which holds the port's current line) from the settings. Returns
// false when the speed has no B constant and must be set by number.
bool toTermios(const Settings& settings, termios* t);

} // namespace Serial
