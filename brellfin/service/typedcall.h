#pragma once

// The one typed call of the file service: the argument count, each argument
// behind its type name, sync(), and for a method with a result its type name
// checked byte for byte before the value is read.

#include "framework/rpc/callscheme.h"
#include "framework/rpc/syncproxy.h"

namespace FileServiceCalls {

namespace detail {

inline void writeArgs(FF::utils::IBuffer*) {}

template <class T, class... Rest>
void writeArgs(FF::utils::IBuffer* buffer, const T& value, const Rest&... rest)
{
    FF::RPC::writeArg(buffer, value);
    writeArgs(buffer, rest...);
}

template <class... Args>
void send(FF::RPC::SyncProxy& proxy, const char* method, const Args&... args)
{
    FF::utils::IBuffer* buffer = proxy.argsBuffer(FF::utils::String(method));
    FF::RPC::pack(buffer, static_cast<unsigned int>(sizeof...(Args)));
    writeArgs(buffer, args...);
    proxy.sync();
}

} // namespace detail

// A method without a result: whatever the reply carries is left unread.
template <class... Args>
void callWithoutResult(FF::RPC::SyncProxy& proxy, const char* method, const Args&... args)
{
    detail::send(proxy, method, args...);
}

// Throws the framework's exceptions, or ("GeneratedUnpack", "deserialize
// failed") when the result's type name or value does not read back.
template <class Result, class... Args>
Result call(FF::RPC::SyncProxy& proxy, const char* method, const Args&... args)
{
    detail::send(proxy, method, args...);
    Result result{};
    FF::RPC::readResult(proxy.resultBuffer(), result);
    return result;
}

} // namespace FileServiceCalls
