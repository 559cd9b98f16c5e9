#include "testing/fakepanel/methodresult.h"

#include "testing/fakepanel/fakepanelconstants.h"
#include "testing/fakepanel/wirewriter.h"

namespace Fake {

MethodResult& MethodResult::addUInt(uint32_t value)
{
    return addRecord(kTypeUInt, WireWriter().u32(value).take());
}

MethodResult& MethodResult::addInt(int32_t value)
{
    return addRecord(kTypeInt, WireWriter().i32(value).take());
}

MethodResult& MethodResult::addBool(bool value)
{
    return addRecord(kTypeBool, WireWriter().boolean(value).take());
}

MethodResult& MethodResult::addLongLong(int64_t value)
{
    return addRecord(kTypeLongLong, WireWriter().i64(value).take());
}

MethodResult& MethodResult::addULongLong(uint64_t value)
{
    return addRecord(kTypeULongLong, WireWriter().u64(value).take());
}

MethodResult& MethodResult::addHandle(uint32_t value)
{
    return addRecord(kTypeHandle, WireWriter().u32(value).take());
}

MethodResult& MethodResult::addString(const std::string& value, const std::string& typeName)
{
    return addRecord(typeName, WireWriter().string(value).take());
}

MethodResult& MethodResult::addBytes(const std::vector<uint8_t>& value)
{
    return addRecord(kTypeBytes, WireWriter().byteVector(value).take());
}

MethodResult& MethodResult::addStringVector(const std::vector<std::string>& value, const std::string& typeName)
{
    WireWriter out;
    out.u32(static_cast<uint32_t>(value.size()));
    for (const std::string& element : value)
        out.string(element);
    return addRecord(typeName, out.take());
}

MethodResult& MethodResult::addStringIntPairs(const std::vector<std::pair<std::string, int32_t>>& value)
{
    WireWriter out;
    out.u32(static_cast<uint32_t>(value.size()));
    for (const auto& [text, number] : value)
        out.string(text).i32(number);
    return addRecord(kTypeStringIntPairs, out.take());
}

MethodResult& MethodResult::addStringPair(const std::string& first, const std::string& second)
{
    return addRecord(kTypeStringPair, WireWriter().string(first).string(second).take());
}

MethodResult& MethodResult::addRecord(const std::string& typeName, const std::vector<uint8_t>& fields)
{
    m_entries.push_back({typeName, fields});
    return *this;
}

MethodResult& MethodResult::addRaw(const std::vector<uint8_t>& bytes)
{
    m_entries.push_back({std::nullopt, bytes});
    return *this;
}

void MethodResult::replaceFirstTypeName(const std::string& typeName)
{
    for (Entry& entry : m_entries) {
        if (entry.typeName) {
            entry.typeName = typeName;
            return;
        }
    }
}

std::vector<uint8_t> MethodResult::encode() const
{
    WireWriter out;
    for (const Entry& entry : m_entries) {
        if (entry.typeName)
            out.string(*entry.typeName);
        out.raw(entry.value);
    }
    return out.take();
}

} // namespace Fake
