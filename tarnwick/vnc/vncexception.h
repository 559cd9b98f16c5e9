#pragma once

// The exceptions of the RFB client: a failed step, and a rejected password.

#include <exception>
#include <string>

namespace VNC {

class VncProException : public std::exception
{
public:
    VncProException(const std::string& step, const std::string& reason);
    const char* what() const noexcept override;

private:
    std::string m_text;
};

class VncPasswdIncorrect : public std::exception
{
public:
    const char* what() const noexcept override;
};

} // namespace VNC
