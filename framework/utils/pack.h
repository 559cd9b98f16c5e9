#pragma once

// Null-tolerant forms of the typed writers and readers that the call stubs use.

#include "framework/utils/serialize.h"

namespace FF {
namespace RPC {

// Writes nothing when buffer is null.
template <class T>
void pack(FF::utils::IBuffer* buffer, const T& value)
{
    if (buffer)
        FF::utils::Serialize(buffer, value);
}

// False when buffer is null; otherwise the reader's result.
template <class T>
bool unpack(FF::utils::IBuffer* buffer, T& value)
{
    if (!buffer)
        return false;
    try {
        return FF::utils::Deserialize(buffer, value);
    } catch (const FF::utils::deserialize_block_error&) {
        throw;
    } catch (...) {
        return false;
    }
}

} // namespace RPC
} // namespace FF
