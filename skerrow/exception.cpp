#include "skerrow/exception.h"

namespace FF {
namespace COMMON {

Exception::Exception(const char* where, const char* what)
{
    m_message = where ? where : "";
    m_message += ':';
    m_message += what ? what : "";
}

// Defined here so that the virtual table and the type information live in the library.
Exception::~Exception() = default;

const char* Exception::what() const noexcept
{
    return m_message.c_str();
}

} // namespace COMMON
} // namespace FF
