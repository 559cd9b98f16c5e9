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

// Logs logText and raises the step's failure with reason: the one way a step
// reports a server that broke the protocol or went away.
[[noreturn]] void failStep(const char* step, const char* logText, const char* reason);

} // namespace VNC
