#include "framework/utils/serialize.h"

#include <new>
#include <stdexcept>

namespace FF {
namespace utils {

static_assert(sizeof(long) == 8 && sizeof(unsigned int) == 4, "the wire form assumes LP64");

namespace {

template <class T>
void writeRaw(IBuffer* buffer, T value)
{
    buffer->write(&value, sizeof value);
}

template <class T>
bool readRaw(IBuffer* buffer, T& value)
{
    return buffer->read(&value, sizeof value);
}

// Container readers: false when the count is missing (the container is then
// untouched); once the count is read the container is cleared and filled
// element by element, keeping what was read before a failure. Nothing is
// reserved from the count: a hostile count allocates nothing.
template <class Vector, class ReadOne>
bool readElements(IBuffer* buffer, Vector& out, ReadOne readOne)
{
    std::uint32_t count = 0;
    if (!buffer->read(&count, sizeof count))
        return false;
    out.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
        typename Vector::value_type element;
        if (!readOne(element))
            return false;
        out.push_back(std::move(element));
    }
    return true;
}

template <class Vector>
void writeStrings(IBuffer* buffer, const Vector& value)
{
    writeRaw(buffer, static_cast<std::uint32_t>(value.size()));
    for (const auto& element : value)
        Serialize(buffer, static_cast<const std::string&>(element));
}

} // namespace

void Serialize(IBuffer* buffer, unsigned int value)
{
    writeRaw(buffer, value);
}
void Serialize(IBuffer* buffer, int value)
{
    writeRaw(buffer, value);
}
void Serialize(IBuffer* buffer, unsigned long long value)
{
    writeRaw(buffer, value);
}
void Serialize(IBuffer* buffer, long long value)
{
    writeRaw(buffer, value);
}
void Serialize(IBuffer* buffer, unsigned long value)
{
    writeRaw(buffer, static_cast<std::uint64_t>(value));
}
void Serialize(IBuffer* buffer, long value)
{
    writeRaw(buffer, static_cast<std::int64_t>(value));
}
void Serialize(IBuffer* buffer, bool value)
{
    writeRaw(buffer, static_cast<byte>(value ? 1 : 0));
}
void Serialize(IBuffer* buffer, Handle value)
{
    writeRaw(buffer, value.value);
}

void Serialize(IBuffer* buffer, const std::string& value)
{
    writeRaw(buffer, static_cast<std::uint32_t>(value.size()));
    if (!value.empty())
        buffer->write(value.data(), value.size());
}

void Serialize(IBuffer* buffer, const String& value)
{
    value.serialize(buffer);
}

void Serialize(IBuffer* buffer, const char* value)
{
    Serialize(buffer, std::string(value ? value : ""));
}

void Serialize(IBuffer* buffer, const std::vector<byte>& value)
{
    writeRaw(buffer, static_cast<std::uint32_t>(value.size()));
    if (!value.empty())
        buffer->write(value.data(), value.size());
}

void Serialize(IBuffer* buffer, const std::vector<std::string>& value)
{
    writeStrings(buffer, value);
}
void Serialize(IBuffer* buffer, const std::vector<String>& value)
{
    writeStrings(buffer, value);
}

void Serialize(IBuffer* buffer, const std::vector<std::pair<std::string, int>>& value)
{
    writeRaw(buffer, static_cast<std::uint32_t>(value.size()));
    for (const auto& element : value) {
        Serialize(buffer, element.first);
        writeRaw(buffer, element.second);
    }
}

void Serialize(IBuffer* buffer, const std::pair<String, String>& value)
{
    value.first.serialize(buffer);
    value.second.serialize(buffer);
}

bool Deserialize(IBuffer* buffer, unsigned int& value)
{
    return readRaw(buffer, value);
}
bool Deserialize(IBuffer* buffer, int& value)
{
    return readRaw(buffer, value);
}
bool Deserialize(IBuffer* buffer, unsigned long long& value)
{
    return readRaw(buffer, value);
}
bool Deserialize(IBuffer* buffer, long long& value)
{
    return readRaw(buffer, value);
}
bool Deserialize(IBuffer* buffer, unsigned long& value)
{
    return readRaw(buffer, value);
}
bool Deserialize(IBuffer* buffer, long& value)
{
    return readRaw(buffer, value);
}
bool Deserialize(IBuffer* buffer, Handle& value)
{
    return readRaw(buffer, value.value);
}

bool Deserialize(IBuffer* buffer, bool& value)
{
    byte raw = 0;
    if (!readRaw(buffer, raw))
        return false;
    value = raw != 0;
    return true;
}

bool Deserialize(IBuffer* buffer, std::string& value)
{
    try {
        String text;
        if (!text.deserialize(buffer))
            return false;
        value = std::move(static_cast<std::string&>(text));
        return true;
    } catch (const std::bad_alloc&) {
        return false; // a length read from the wire that cannot be held
    } catch (const std::length_error&) {
        return false;
    }
}

bool Deserialize(IBuffer* buffer, String& value)
{
    try {
        return value.deserialize(buffer);
    } catch (const std::bad_alloc&) {
        return false; // a length read from the wire that cannot be held
    } catch (const std::length_error&) {
        return false;
    }
}

bool Deserialize(IBuffer* buffer, std::vector<byte>& value)
{
    std::uint32_t count = 0;
    if (!readRaw(buffer, count))
        return false;
    // The count is checked against the bytes present before the vector grows.
    if (count > buffer->remaining())
        return false;
    value.resize(count);
    return count == 0 || buffer->read(value.data(), count);
}

bool Deserialize(IBuffer* buffer, std::vector<std::string>& value)
{
    return readElements(buffer, value, [buffer](std::string& s) { return Deserialize(buffer, s); });
}

bool Deserialize(IBuffer* buffer, std::vector<String>& value)
{
    return readElements(buffer, value, [buffer](String& s) { return Deserialize(buffer, s); });
}

bool Deserialize(IBuffer* buffer, std::vector<std::pair<std::string, int>>& value)
{
    return readElements(buffer, value, [buffer](std::pair<std::string, int>& p) {
        return Deserialize(buffer, p.first) && Deserialize(buffer, p.second);
    });
}

bool Deserialize(IBuffer* buffer, std::pair<String, String>& value)
{
    return Deserialize(buffer, value.first) && Deserialize(buffer, value.second);
}

} // namespace utils
} // namespace FF
