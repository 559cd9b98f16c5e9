#include "framework/net/exception.h"

namespace FF {
namespace Net {

Exception::Exception(const char* where, const char* what)
    : m_where(where ? where : "")
    , m_what(what ? what : "")
    , m_text(m_where + "/" + m_what)
{
}

} // namespace Net
} // namespace FF
