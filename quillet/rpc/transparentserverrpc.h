#pragma once

#include "quillet/rpc/transparentparam.h"

#include <functional>
#include <memory>
#include <string>

namespace FF {
namespace RPC {
class DispatchClient;
}
} // namespace FF

// The client of the panel's pass-through service on port 9060, one per
// started pass-through. Results: 0 yes, -2 no, -1 no connection or a failed
// call (which drops the connection; the next call probes and connects anew).
// Destroying it sends "Terminate" first.
class TransparentServerRpc {
public:
    explicit TransparentServerRpc(const std::string& address);
    virtual ~TransparentServerRpc();
    TransparentServerRpc(const TransparentServerRpc&) = delete;
    TransparentServerRpc& operator=(const TransparentServerRpc&) = delete;

    bool connectServer();
    void closeServer();

    int SetTransparentParam(const TransparentParam& param);
    int IsReady();
    int Terminate();

    // Through a project service client on the same address: 1 / 0, -1 failed.
    int hasProjectPassword();
    // Sends only the password's MD5 digest: 0 accepted, -2 refused, -1 failed.
    int checkProjectPassword(const std::string& password);

    // 32 lower-case hexadecimal characters.
    static std::string md5Hex(const std::string& text);

private:
    // Connects when needed and runs ask on the client: its answer as 0 / -2,
    // or -1 with failureLog written and the connection dropped.
    int call(const char* failureLog, const std::function<bool(FF::RPC::DispatchClient*)>& ask);

    std::unique_ptr<FF::RPC::DispatchClient> m_client;
    std::string m_address;
    int m_port;
};
