#pragma once

// The one exception type the framework throws: where it failed ("Class.operation")
// and what went wrong (for failed calls, the name of the result code). As a
// std::exception its text is "where/what", so a log of any caught exception
// tells both.

#include <exception>
#include <string>

namespace FF {
namespace Net {

class Exception : public std::exception {
public:
    Exception(const char* where, const char* what);

    std::string info() const { return m_what; }
    std::string where() const { return m_where; }
    const char* what() const noexcept override { return m_text.c_str(); }

private:
    std::string m_where;
    std::string m_what;
    std::string m_text;
};

} // namespace Net
} // namespace FF
