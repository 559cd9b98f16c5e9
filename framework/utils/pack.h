#pragma once

// Null-tolerant forms of the typed writers and readers that the call stubs use.

#include "framework/utils/serialize.h"

#include <new>
#include <stdexcept>

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
    } catch (const std::bad_alloc&) {
        return false; // a length read from the wire that cannot be held
    } catch (const std::length_error&) {
        return false;
    }
}

} // namespace RPC
} // namespace FF
