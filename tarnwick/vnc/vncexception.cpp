#include "tarnwick/vnc/vncexception.h"

namespace VNC {

VncProException::VncProException(const std::string& step, const std::string& reason)
    : m_text(step + ":" + reason)
{
}

const char* VncProException::what() const noexcept
{
    return m_text.c_str();
}

const char* VncPasswdIncorrect::what() const noexcept
{
    return "password is incorrect";
}

} // namespace VNC
