#include "testing/fakepanel/methodargs.h"

#include "testing/fakepanel/fakepanelconstants.h"

namespace Fake {

MethodArgs::MethodArgs(std::vector<uint8_t> argBytes)
    : m_bytes(std::move(argBytes))
    , m_reader(m_bytes)
{
    if (!m_reader.u32(m_count))
        throw ArgsError("no argument count");
}

std::string MethodArgs::readTypeName()
{
    std::string name;
    if (!m_reader.string(name))
        throw ArgsError("argument type name missing");
    return name;
}

void MethodArgs::expectTypeName(const std::string& typeName)
{
    const std::string name = readTypeName();
    if (name != typeName)
        throw ArgsError("argument type " + name + " where " + typeName + " was expected");
}

uint32_t MethodArgs::plainUInt()
{
    uint32_t value = 0;
    if (!m_reader.u32(value))
        throw ArgsError("argument value missing");
    return value;
}

int32_t MethodArgs::plainInt()
{
    int32_t value = 0;
    if (!m_reader.i32(value))
        throw ArgsError("argument value missing");
    return value;
}

std::string MethodArgs::plainString()
{
    std::string value;
    if (!m_reader.string(value))
        throw ArgsError("argument value missing");
    return value;
}

std::vector<std::string> MethodArgs::plainStringVector()
{
    const uint32_t count = plainUInt();
    std::vector<std::string> values;
    // No reserve from the count word: every element proves itself with its bytes.
    for (uint32_t i = 0; i < count; ++i)
        values.push_back(plainString());
    return values;
}

uint32_t MethodArgs::readUInt()
{
    expectTypeName(kTypeUInt);
    return plainUInt();
}

int32_t MethodArgs::readInt()
{
    expectTypeName(kTypeInt);
    return plainInt();
}

bool MethodArgs::readBool()
{
    expectTypeName(kTypeBool);
    bool value = false;
    if (!m_reader.boolean(value))
        throw ArgsError("argument value missing");
    return value;
}

int64_t MethodArgs::readLongLong()
{
    expectTypeName(kTypeLongLong);
    int64_t value = 0;
    if (!m_reader.i64(value))
        throw ArgsError("argument value missing");
    return value;
}

uint64_t MethodArgs::readULongLong()
{
    expectTypeName(kTypeULongLong);
    uint64_t value = 0;
    if (!m_reader.u64(value))
        throw ArgsError("argument value missing");
    return value;
}

uint32_t MethodArgs::readHandle()
{
    expectTypeName(kTypeHandle);
    return plainUInt();
}

std::string MethodArgs::readString(const std::string& typeName)
{
    expectTypeName(typeName);
    return plainString();
}

std::vector<uint8_t> MethodArgs::readBytes()
{
    expectTypeName(kTypeBytes);
    std::vector<uint8_t> value;
    if (!m_reader.byteVector(value))
        throw ArgsError("argument value missing");
    return value;
}

std::vector<std::string> MethodArgs::readStringVector(const std::string& typeName)
{
    expectTypeName(typeName);
    return plainStringVector();
}

std::vector<std::pair<std::string, int32_t>> MethodArgs::readStringIntPairs()
{
    expectTypeName(kTypeStringIntPairs);
    const uint32_t count = plainUInt();
    std::vector<std::pair<std::string, int32_t>> values;
    for (uint32_t i = 0; i < count; ++i) {
        std::string first = plainString();
        values.emplace_back(std::move(first), plainInt());
    }
    return values;
}

std::pair<std::string, std::string> MethodArgs::readStringPair()
{
    expectTypeName(kTypeStringPair);
    std::string first = plainString();
    return {std::move(first), plainString()};
}

} // namespace Fake
