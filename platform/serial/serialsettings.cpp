#include "platform/serial/serialsettings.h"

#include <cctype>
#include <sstream>

namespace Serial {

namespace {

std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool parseOnOff(const std::string& v, bool* out)
{
    if (v == "on")
        *out = true;
    else if (v == "off")
        *out = false;
    else
        return false;
    return true;
}

bool parseBaud(const std::string& v, unsigned* out)
{
    if (v.empty() || v.size() > 9)
        return false;
    unsigned n = 0;
    for (char c : v) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    if (n == 0)
        return false;
    *out = n;
    return true;
}

} // namespace

bool parseSettings(const std::string& text, Settings* out)
{
    Settings s;
    bool stopGiven = false;
    std::istringstream in(text);
    std::string token;
    while (in >> token) {
        const size_t eq = token.find('=');
        if (eq == std::string::npos || eq == 0)
            return false;
        const std::string key = lower(token.substr(0, eq));
        const std::string value = lower(token.substr(eq + 1));
        bool flag = false;
        if (key == "baud") {
            if (!parseBaud(value, &s.baud))
                return false;
        } else if (key == "parity") {
            if (value == "n")
                s.parity = Parity::None;
            else if (value == "e")
                s.parity = Parity::Even;
            else if (value == "o")
                s.parity = Parity::Odd;
            else if (value == "m")
                s.parity = Parity::Mark;
            else if (value == "s")
                s.parity = Parity::Space;
            else
                return false;
        } else if (key == "data") {
            if (value.size() != 1 || value[0] < '5' || value[0] > '8')
                return false;
            s.dataBits = value[0] - '0';
        } else if (key == "stop") {
            if (value == "1")
                s.stopBits = StopBits::One;
            else if (value == "1.5")
                s.stopBits = StopBits::OneAndHalf;
            else if (value == "2")
                s.stopBits = StopBits::Two;
            else
                return false;
            stopGiven = true;
        } else if (key == "xon") {
            if (!parseOnOff(value, &s.xonXoff))
                return false;
        } else if (key == "octs") {
            if (!parseOnOff(value, &s.ctsOutput))
                return false;
        } else if (key == "to" || key == "odsr" || key == "idsr") {
            if (!parseOnOff(value, &flag))
                return false;
        } else if (key == "dtr") {
            if (value == "on")
                s.dtr = LineControl::On;
            else if (value == "off")
                s.dtr = LineControl::Off;
            else if (value == "hs")
                s.dtr = LineControl::Handshake;
            else
                return false;
        } else if (key == "rts") {
            if (value == "on")
                s.rts = LineControl::On;
            else if (value == "off")
                s.rts = LineControl::Off;
            else if (value == "hs")
                s.rts = LineControl::Handshake;
            else if (value == "tg")
                s.rts = LineControl::Toggle;
            else
                return false;
        } else {
            return false;
        }
    }
    // Without a stop key, 110 baud keeps its historical two stop bits.
    if (!stopGiven && s.baud == 110 && s.dataBits != 5)
        s.stopBits = StopBits::Two;
    if (s.stopBits == StopBits::OneAndHalf && s.dataBits != 5)
        return false;
    if (s.stopBits == StopBits::Two && s.dataBits == 5)
        return false;
    *out = s;
    return true;
}

} // namespace Serial
