#include "framework/rpc/rpcconstants.h"

namespace FF {
namespace RPC {

const char* statusName(int status)
{
    switch (status) {
    case StatusSucceed: return "Succeed";
    case StatusArgsLess: return "ArgsLess";
    case StatusInvokingFailed: return "InvokingFailed";
    case StatusNoRegisteredFunction: return "NoRegisteredFunction";
    case StatusRecvDataError: return "RecvDataError";
    case StatusConnectionInterrupted: return "ConnectionInterrupted";
    case StatusConnectionTimeOut: return "ConnectionTimeOut";
    case StatusWaiting: return "ConnectionTimeOut";
    default: return "Unknown";
    }
}

} // namespace RPC
} // namespace FF
