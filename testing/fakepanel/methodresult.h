#pragma once

// What a scripted method answers: a status word and, for status 0, the typed
// results (each its type name, then its value; no count word in front). The
// method may also stay silent or answer late.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Fake {

class MethodResult {
public:
    void setStatus(uint32_t status) { m_status = status; }
    uint32_t status() const { return m_status; }
    // No reply at all for this call.
    void setSilent(bool silent = true) { m_silent = silent; }
    bool silent() const { return m_silent; }
    // The reply leaves this long after the call arrived (pings are still answered).
    void setDelay(std::chrono::milliseconds delay) { m_delay = delay; }
    std::chrono::milliseconds delay() const { return m_delay; }

    MethodResult& addUInt(uint32_t value);
    MethodResult& addInt(int32_t value);
    MethodResult& addBool(bool value);
    MethodResult& addLongLong(int64_t value);
    MethodResult& addULongLong(uint64_t value);
    MethodResult& addHandle(uint32_t value);
    MethodResult& addString(const std::string& value, const std::string& typeName = "FF::utils::String");
    MethodResult& addBytes(const std::vector<uint8_t>& value);
    MethodResult& addStringVector(const std::vector<std::string>& value,
                                  const std::string& typeName = "std::vector<FF::String>");
    MethodResult& addStringIntPairs(const std::vector<std::pair<std::string, int32_t>>& value);
    MethodResult& addStringPair(const std::string& first, const std::string& second);
    // A record: its type name, then its fields as given (build them with WireWriter).
    MethodResult& addRecord(const std::string& typeName, const std::vector<uint8_t>& fields);
    // Bytes with no type name in front.
    MethodResult& addRaw(const std::vector<uint8_t>& bytes);

    // Puts another type name on the first typed result (the wrong-type fault).
    void replaceFirstTypeName(const std::string& typeName);
    // The bytes that follow the status word of a successful reply.
    std::vector<uint8_t> encode() const;

private:
    struct Entry {
        std::optional<std::string> typeName;
        std::vector<uint8_t> value;
    };

    uint32_t m_status = 0;
    bool m_silent = false;
    std::chrono::milliseconds m_delay{0};
    std::vector<Entry> m_entries;
};

} // namespace Fake
