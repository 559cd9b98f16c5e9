#pragma once

// The typed argument and result scheme of the call stubs: every value
// travels behind its type name, and a result whose name or value does not
// read back is ("GeneratedUnpack", "deserialize failed").

#include "framework/net/exception.h"
#include "framework/utils/pack.h"
#include "framework/utils/serialize.h"

namespace FF {
namespace RPC {

// Writes the type name of T, then the value.
template <class T>
void writeArg(FF::utils::IBuffer* buffer, const T& value)
{
    pack(buffer, FF::utils::String(FF::utils::TypeName<T>::value));
    pack(buffer, value);
}

// Reads a type name, checks it byte for byte against T's, then reads the value.
template <class T>
void readResult(FF::utils::IBuffer* buffer, T& value)
{
    // unpack turns a block too large to hold into false; a short block
    // reading into a large-block reader throws its own error on to the caller.
    FF::utils::String name;
    const bool ok = unpack(buffer, name) && name == FF::utils::TypeName<T>::value && unpack(buffer, value);
    if (!ok)
        throw FF::Net::Exception("GeneratedUnpack", "deserialize failed");
}

} // namespace RPC
} // namespace FF
