#pragma once

// The one typed call by method name that every call stub of the programs
// makes: the argument count, each argument behind its type name, sync(), then
// for a method with a result its type name checked byte for byte before the
// value is read (callscheme.h).
//
// A record that travels in a call declares its FF::utils::Serialize and
// Deserialize overloads before this header is included: the templates here
// call them by qualified name and see only the overloads declared before them.

#include "framework/rpc/callscheme.h"
#include "framework/rpc/syncproxy.h"
#include "platform/exceptionlog/exceptionlog.h"

#include <type_traits>

namespace FF {
namespace RPC {

class DispatchClient;

// A time-out of 0 leaves the proxy's time-out as it stands: its default, or
// what the caller set on it before.
constexpr unsigned int kProxyDefaultTimeOut = 0;

// Starts a call of method on proxy and writes the argument count (0 for a
// call without arguments) and the arguments. When the proxy gives no buffer
// nothing is written and the call still goes out as it stands.
template <class... Args>
void writeCall(SyncProxy& proxy, const char* method, const Args&... args)
{
    FF::utils::IBuffer* buffer = proxy.argsBuffer(FF::utils::String(method));
    if (!buffer)
        return;
    FF::utils::Serialize(buffer, static_cast<unsigned int>(sizeof...(Args)));
    (writeArg(buffer, args), ...);
}

// Makes one call on proxy and returns its result; with Result void the reply
// is left unread. Throws FF::Net::Exception on a failed call (the info text
// is the result-code name, or "send failed") and ("GeneratedUnpack",
// "deserialize failed") on a result that does not read back; a
// deserialize_block_error passes unchanged.
template <class Result, class... Args>
Result call(SyncProxy& proxy, unsigned int timeOutMs, const char* method, const Args&... args)
{
    if (timeOutMs != kProxyDefaultTimeOut)
        proxy.setTimeOut(timeOutMs);
    writeCall(proxy, method, args...);
    proxy.sync();
    if constexpr (std::is_void_v<Result>) {
        return;
    } else {
        Result value{};
        readResult(proxy.resultBuffer(), value);
        return value;
    }
}

// The same on a proxy of its own, made on client for this one call; a null
// client throws ("Proxy.Proxy", "no matched service") without traffic.
template <class Result, class... Args>
Result call(DispatchClient* client, unsigned int timeOutMs, const char* method, const Args&... args)
{
    SyncProxy proxy(client);
    return call<Result>(proxy, timeOutMs, method, args...);
}

// One call on a proxy of its own: true with out replaced, or false with out
// untouched. Nothing is thrown; a null client fails without traffic.
template <class Result, class... Args>
bool tryCall(DispatchClient* client, unsigned int timeOutMs, const char* method, Result& out, const Args&... args)
{
    if (!client)
        return false;
    try {
        out = call<Result>(client, timeOutMs, method, args...);
        return true;
    } catch (...) {
        // Every way a call can fail counts as a failed call here, whatever
        // it threw: the stubs that use this report only success or failure.
        platform::reportEscapedException(method);
        return false;
    }
}

} // namespace RPC
} // namespace FF
