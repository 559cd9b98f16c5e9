#pragma once

// The one exception type the framework throws: where it failed ("Class.operation")
// and what went wrong (for failed calls, the name of the result code).

#include <string>

namespace FF {
namespace Net {

class Exception {
public:
    Exception(const char* where, const char* what);

    std::string info() const { return m_what; }
    std::string where() const { return m_where; }

private:
    std::string m_where;
    std::string m_what;
};

} // namespace Net
} // namespace FF
