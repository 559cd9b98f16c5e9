#pragma once

#include "framework/utils/ibuffer.h"

#include <functional>

namespace FF {
namespace RPC {
class DispatchClient;
}
} // namespace FF

namespace QuilletRpc {

// One call whose answer is a "bool": the arguments (count word included) are
// written by writeArgs, the reply's type name is checked byte for byte.
// Throws FF::Net::Exception for a failed call or an unreadable answer
// ("GeneratedUnpack", "deserialize failed"); a deserialize_block_error of the
// string reader passes unchanged.
bool callBool(FF::RPC::DispatchClient* client, const char* method, unsigned timeoutMs,
              const std::function<void(FF::utils::IBuffer*)>& writeArgs);

// An argument count word alone: the calls without arguments.
void writeNoArgs(FF::utils::IBuffer* buffer);

} // namespace QuilletRpc
