#pragma once

// The one way the main program calls a panel method: the argument count,
// each argument behind its type name, sync(), then one result whose type name
// must match byte for byte. Every call stub, the per-panel session and the
// password and server-address object go through here.

// The records first: the call scheme's templates see only the serializers
// declared before them.
#include "tarnwick/core/panelrpc/panelrecords.h"

#include "framework/rpc/callscheme.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/syncproxy.h"

namespace Tarnwick {
namespace PanelCall {

// A time-out of 0 leaves the proxy's own default in place.
constexpr unsigned int kProxyDefaultTimeOut = 0;

// Makes one call on proxy and returns its result. Throws FF::Net::Exception
// on a failed call (the info text is the result-code name) and
// ("GeneratedUnpack", "deserialize failed") on a result that does not read back.
template <class Result, class... Args>
Result call(FF::RPC::SyncProxy& proxy, unsigned int timeOutMs, const char* method, const Args&... args)
{
    if (timeOutMs != kProxyDefaultTimeOut)
        proxy.setTimeOut(timeOutMs);
    if (FF::utils::IBuffer* buffer = proxy.argsBuffer(FF::utils::String(method))) {
        FF::utils::Serialize(buffer, static_cast<unsigned int>(sizeof...(Args)));
        (FF::RPC::writeArg(buffer, args), ...);
    }
    proxy.sync();
    Result value{};
    FF::RPC::readResult(proxy.resultBuffer(), value);
    return value;
}

// One call on a proxy of its own: true with out replaced, or false with out
// untouched. Nothing is thrown; a null client fails without traffic.
template <class Result, class... Args>
bool tryCall(FF::RPC::DispatchClient* client, unsigned int timeOutMs, const char* method, Result& out,
             const Args&... args)
{
    if (!client)
        return false;
    try {
        FF::RPC::SyncProxy proxy(client);
        out = call<Result>(proxy, timeOutMs, method, args...);
        return true;
    } catch (...) {
        return false;
    }
}

} // namespace PanelCall
} // namespace Tarnwick
