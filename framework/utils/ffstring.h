#pragma once

// The framework's string: a standard byte string with the few extra text
// operations the programs use, serialized as a u32 length and the bytes.

#include <cstdint>
#include <string>

namespace FF {
namespace utils {

class IBuffer;

class String : public std::string {
public:
    using std::string::string;
    String() = default;
    String(const std::string& text)
        : std::string(text)
    {
    }
    String(std::string&& text)
        : std::string(std::move(text))
    {
    }

    // u32 length, then the bytes (no terminator).
    void serialize(IBuffer* buffer) const;
    // Reads a serialized string; false on a short or hostile length (nothing
    // allocated then). The text ends at the first zero byte it contains.
    bool deserialize(IBuffer* buffer);

    String left(std::uint32_t n) const;
    String tail(std::uint32_t n) const;
    String right(std::uint32_t n) const;
    // Index of the last c, or 0xFFFFFFFF when there is none.
    std::uint32_t reverseFind(char c) const;
    // 0 when equal ignoring the case of ASCII letters.
    int compare_no_case(const char* other) const;
    String& format(const char* pattern, ...) __attribute__((format(printf, 2, 3)));
    String& trim();
    String& trim_left();
};

} // namespace utils

using String = utils::String;

} // namespace FF
