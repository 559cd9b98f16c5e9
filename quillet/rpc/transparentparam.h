#pragma once

#include "framework/utils/serialize.h"
#include "quillet/rpc/rpcconstants.h"

#include <cstdint>
#include <string>

// What the panel's pass-through service needs to open its side: the TCP port
// for the byte stream and the panel's own serial port ("COM1".."COM15").
// On the wire: "TransparentParam", tcpPort as 4 bytes, serialPort as a string.
struct TransparentParam {
    std::int32_t tcpPort = 0;
    std::string serialPort;
};

namespace FF {
namespace utils {

// The record's fields in order, without type names of their own. Declared
// here, ahead of framework/rpc/typedcall.h in every file that calls with it:
// the call templates see only the overloads declared before them.
void Serialize(IBuffer* buffer, const TransparentParam& value);
FF_UTILS_TYPE_NAME(QuilletRpc::kTransparentParamTypeName, TransparentParam)

} // namespace utils
} // namespace FF
