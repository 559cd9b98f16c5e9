#pragma once

// The typed arguments of one call, as a scripted method reads them: each
// argument is its type name (u32 length + text) followed by its value. A
// missing value or a type name other than the one asked for throws
// ArgsError, which the service answers with status 1 ("ArgsLess").

#include "testing/fakepanel/wirereader.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace Fake {

class ArgsError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class MethodArgs {
public:
    // argBytes: from the argument count word to the end of the call.
    explicit MethodArgs(std::vector<uint8_t> argBytes);

    // The argument count the caller announced.
    uint32_t count() const { return m_count; }

    uint32_t readUInt();
    int32_t readInt();
    bool readBool();
    int64_t readLongLong();
    uint64_t readULongLong();
    uint32_t readHandle();
    std::string readString(const std::string& typeName = "FF::utils::String");
    std::vector<uint8_t> readBytes();
    std::vector<std::string> readStringVector(const std::string& typeName = "std::vector<FF::String>");
    std::vector<std::pair<std::string, int32_t>> readStringIntPairs();
    std::pair<std::string, std::string> readStringPair();

    // For records: the type name, then the fields read one by one through plain().
    std::string readTypeName();
    void expectTypeName(const std::string& typeName);
    WireReader& plain() { return m_reader; }
    // Plain reads that throw ArgsError when the bytes run out.
    uint32_t plainUInt();
    int32_t plainInt();
    std::string plainString();

    bool atEnd() const { return m_reader.atEnd(); }

private:
    std::vector<std::string> plainStringVector();

    std::vector<uint8_t> m_bytes;
    WireReader m_reader;
    uint32_t m_count = 0;
};

} // namespace Fake
