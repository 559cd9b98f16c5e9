#include "tarnwick/vnc/vncexception.h"

#include <QDebug>

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

void failStep(const char* step, const char* logText, const char* reason)
{
    qDebug() << logText;
    throw VncProException(step, reason);
}

} // namespace VNC
