#include "quillet/rpc/boolcall.h"

#include "framework/rpc/callscheme.h"
#include "framework/rpc/syncproxy.h"

namespace QuilletRpc {

bool callBool(FF::RPC::DispatchClient* client, const char* method, unsigned timeoutMs,
              const std::function<void(FF::utils::IBuffer*)>& writeArgs)
{
    FF::RPC::SyncProxy proxy(client);
    proxy.setTimeOut(timeoutMs);
    FF::utils::IBuffer* args = proxy.argsBuffer(FF::utils::String(method));
    if (args)
        writeArgs(args);
    proxy.sync();
    FF::utils::IBuffer* result = proxy.resultBuffer();
    bool value = false;
    FF::RPC::readResult(result, value);
    return value;
}

void writeNoArgs(FF::utils::IBuffer* buffer)
{
    FF::RPC::pack(buffer, 0u);
}

} // namespace QuilletRpc
