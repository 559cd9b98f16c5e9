#pragma once

#include <exception>
#include <memory>
#include <string>

namespace FF {
namespace RPC {
class DispatchClient;
}
} // namespace FF

// The client of the panel's project service on port 127, made for one call:
// whether the project has a password, whether a password digest is right,
// and starting the project.
class OmberRpcObject {
public:
    class Exception : public std::exception {
    public:
        enum Code { Unreachable = 1, CallFailed = 2 };
        Exception(std::string message, int code)
            : m_message(std::move(message))
            , m_code(code)
        {
        }
        const char* what() const noexcept override { return m_message.c_str(); }
        int code() const { return m_code; }

    private:
        std::string m_message;
        int m_code;
    };

    // Probes and connects to "<address>:127"; throws Exception code 1
    // ("connect omber address[<address>:127] fail").
    explicit OmberRpcObject(const std::string& address);
    virtual ~OmberRpcObject();
    OmberRpcObject(const OmberRpcObject&) = delete;
    OmberRpcObject& operator=(const OmberRpcObject&) = delete;

    // Each throws Exception code 2 when the call fails.
    bool projectHasPassword();
    bool projectCheckPassword(const std::string& digest);
    bool projectStart();

private:
    std::unique_ptr<FF::RPC::DispatchClient> m_client;
};
