#pragma once

// Basic value types of the framework's wire format.

#include <cstdint>

namespace FF {

using byte = std::uint8_t;

// A 32-bit handle of an object that lives on the panel side; on the wire it
// is four raw bytes like an unsigned int, but carries its own type name.
struct Handle {
    std::uint32_t value = 0;

    Handle() = default;
    Handle(std::uint32_t v)
        : value(v)
    {
    }
    bool operator==(Handle other) const { return value == other.value; }
    bool operator!=(Handle other) const { return value != other.value; }
};

} // namespace FF
