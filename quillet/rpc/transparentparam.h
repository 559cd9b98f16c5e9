#pragma once

#include <cstdint>
#include <string>

// What the panel's pass-through service needs to open its side: the TCP port
// for the byte stream and the panel's own serial port ("COM1".."COM15").
// On the wire: "TransparentParam", tcpPort as 4 bytes, serialPort as a string.
struct TransparentParam {
    std::int32_t tcpPort = 0;
    std::string serialPort;
};
