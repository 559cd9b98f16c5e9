#pragma once

// Shared pieces of the panel RPC tests: waiting with the event loop running,
// the process's thread count, and record field bytes as the panel writes them.

#include "testing/fakepanel/wirewriter.h"
#include "testing/main/eventwait.h"
#include "testing/main/heapinuse.h"

#include <cstring>
#include <string>
#include <vector>

namespace PanelTest {

using TestWait::waitUntil;

// Lets queued deliveries in for a while.
inline void settle(int ms)
{
    waitUntil([] { return false; }, ms);
}

using TestMemory::threadCount;

inline Fake::WireWriter& f64(Fake::WireWriter& out, double value)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return out.u64(bits);
}

inline std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts)
{
    std::vector<uint8_t> all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A typed value as the client writes it: the type name, then the bytes.
inline std::vector<uint8_t> typed(const std::string& typeName, const std::vector<uint8_t>& value)
{
    return concat({Fake::WireWriter().string(typeName).take(), value});
}

} // namespace PanelTest
