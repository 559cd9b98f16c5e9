#include "framework/utils/ffstring.h"

#include "framework/utils/ibuffer.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace FF {
namespace utils {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

void String::serialize(IBuffer* buffer) const
{
    const std::uint32_t length = static_cast<std::uint32_t>(size());
    buffer->write(&length, sizeof length);
    if (length > 0)
        buffer->write(data(), length);
}

bool String::deserialize(IBuffer* buffer)
{
    std::uint32_t length = 0;
    if (!buffer->read(&length, sizeof length))
        return false;
    // The length word stays consumed; a length beyond the bytes present
    // allocates nothing.
    if (length > buffer->remaining())
        return false;
    std::unique_ptr<char[]> text(new (std::nothrow) char[std::size_t(length) + 1]);
    if (!text)
        return false;
    if (!buffer->read(text.get(), length))
        return false;
    text[length] = '\0';
    assign(text.get());
    return true;
}

String String::left(std::uint32_t n) const
{
    return n >= size() ? *this : String(substr(0, n));
}

String String::tail(std::uint32_t n) const
{
    return n >= size() ? String() : String(substr(n));
}

String String::right(std::uint32_t n) const
{
    return n >= size() ? *this : String(substr(size() - n));
}

std::uint32_t String::reverseFind(char c) const
{
    const std::size_t at = rfind(c);
    return at == npos ? 0xFFFFFFFFu : static_cast<std::uint32_t>(at);
}

int String::compare_no_case(const char* other) const
{
    if (!other)
        return empty() ? 0 : 1;
    std::size_t i = 0;
    for (; i < size() && other[i] != '\0'; ++i) {
        const char a = lowerAscii((*this)[i]);
        const char b = lowerAscii(other[i]);
        if (a != b)
            return static_cast<unsigned char>(a) < static_cast<unsigned char>(b) ? -1 : 1;
    }
    if (i < size())
        return 1;
    return other[i] == '\0' ? 0 : -1;
}

String& String::format(const char* pattern, ...)
{
    va_list args;
    va_start(args, pattern);
    va_list again;
    va_copy(again, args);
    const int needed = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    if (needed < 0) {
        va_end(again);
        clear();
        return *this;
    }
    std::string text(static_cast<std::size_t>(needed) + 1, '\0');
    std::vsnprintf(&text[0], text.size(), pattern, again);
    va_end(again);
    text.resize(static_cast<std::size_t>(needed));
    assign(std::move(text));
    return *this;
}

String& String::trim()
{
    std::size_t end = size();
    while (end > 0 && isSpace((*this)[end - 1]))
        --end;
    erase(end);
    return trim_left();
}

String& String::trim_left()
{
    std::size_t begin = 0;
    while (begin < size() && isSpace((*this)[begin]))
        ++begin;
    erase(0, begin);
    return *this;
}

} // namespace utils
} // namespace FF
