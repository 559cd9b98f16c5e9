#pragma once

// The exception thrown by the threading primitives: a where-text and a what-text.

#include "skerrow/skerrowexport.h"

#include <exception>
#include <string>

namespace FF {
namespace COMMON {

// Other modules catch it by type, so its type information and virtual table
// are exported together with its members.
class SKERROW_EXPORT Exception : public std::exception {
public:
    // The message is the where-text, a colon and the what-text, with no blank.
    Exception(const char* where, const char* what);
    ~Exception() override;

    const char* what() const noexcept override;

private:
    std::string m_message;
};

} // namespace COMMON
} // namespace FF
