#pragma once

// The exceptions of the RFB client: a failed step, and a rejected password.

#include <QDebug>

#include <exception>
#include <string>

namespace VNC {

class VncProException : public std::exception {
public:
    VncProException(const std::string& step, const std::string& reason);
    const char* what() const noexcept override;

private:
    std::string m_text;
};

class VncPasswdIncorrect : public std::exception {
public:
    const char* what() const noexcept override;
};

// Logs logText, followed by the values as the debug stream writes them, and
// raises the step's failure with reason: the one way a step reports a server
// that broke the protocol or went away. A null logText logs nothing.
template <typename... Values>
[[noreturn]] void failStep(const char* step, const char* logText, const char* reason, const Values&... values)
{
    if (logText) {
        QDebug line = qDebug();
        line << logText;
        (void)(line << ... << values);
    }
    throw VncProException(step, reason);
}

} // namespace VNC
