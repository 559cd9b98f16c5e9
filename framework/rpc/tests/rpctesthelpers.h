#pragma once

// Shared pieces of the RPC tests: typed arguments and results in the stubs'
// scheme, a client on a fake panel, and the process's thread count.

#include "framework/net/address.h"
#include "framework/net/exception.h"
#include "framework/net/tcpclient.h"
#include "framework/net/tests/failuretext.h"
#include "framework/rpc/callscheme.h"
#include "framework/rpc/dispatchclient.h"
#include "framework/rpc/syncproxy.h"
#include "framework/utils/serialize.h"
#include "testing/fakepanel/fakepanelservice.h"
#include "testing/main/heapinuse.h"

#include <gtest/gtest.h>

#include <time.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace RpcTest {

// One argument as a generated stub writes it: type name, then value.
template <class T>
void putTyped(FF::utils::IBuffer* buffer, const T& value)
{
    FF::RPC::writeArg(buffer, value);
}

// One result as a generated stub reads it; throws ("GeneratedUnpack",
// "deserialize failed") when the type name differs or the value is short.
template <class T>
T takeTyped(FF::utils::IBuffer* buffer)
{
    T value{};
    FF::RPC::readResult(buffer, value);
    return value;
}

inline std::unique_ptr<FF::RPC::DispatchClient> connectTo(const Fake::FakePanelService& panel)
{
    return std::make_unique<FF::RPC::DispatchClient>(FF::Net::Address(panel.endpoint().c_str()),
                                                     FF::Net::TCPClient::NewFactory());
}

// The what-text of the exception a call ends with, or "Succeed".
inline std::string outcome(const std::function<void()>& call)
{
    try {
        call();
    } catch (const FF::Net::Exception& e) {
        return e.info();
    }
    return "Succeed";
}

using TestMemory::threadCount;

inline double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The processor time the calling thread has used so far.
inline double threadCpuSeconds()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace RpcTest
