#pragma once

// The settings text of a serial port, in the notation
// "baud=19200 parity=N data=8 stop=1" (keys and values in any case).
//
// Keys: baud, parity (n/e/o/m/s), data (5-8), stop (1, 1.5, 2), xon, octs,
// rts (on/off/hs/tg), dtr (on/off/hs); to, odsr and idsr are accepted and
// ignored, as this platform cannot honour them. An unknown key or a bad value
// refuses the whole text. 1.5 stop bits go only with 5 data bits, 2 stop bits
// never with 5.

#include <string>

namespace Serial {

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };
enum class LineControl { Unchanged, On, Off, Handshake, Toggle };

struct Settings {
    unsigned baud = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;
    bool xonXoff = false;   // software flow control both ways
    bool ctsOutput = false; // octs: output waits for CTS
    LineControl rts = LineControl::Unchanged;
    LineControl dtr = LineControl::Unchanged;
};

// Fills *out from the text; false (and *out untouched) when it is refused.
bool parseSettings(const std::string& text, Settings* out);

} // namespace Serial
