#pragma once

// The calls a fake file service received, with their arguments decoded from
// the raw argument bytes by the type names that travel in front of them.

#include "testing/fakepanel/fakepanelservice.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Fake {

struct FileCallArg {
    std::string typeName;
    uint64_t number = 0;            // integers, handles and bools
    std::string text;               // "FF::utils::String"
    std::vector<uint8_t> bytes;     // "std::vector<FF::byte>"
    std::vector<std::string> names; // "std::vector<FF::String>"
};

struct FileCall {
    std::string method;
    std::vector<FileCallArg> args;
    bool wellFormed = false;  // the count matched and every argument read back
    std::vector<uint8_t> raw; // the argument count word and the arguments
    int connection = 0;
};

// Decodes one recorded call; unknown type names or short values leave
// wellFormed false and the arguments read so far.
FileCall decodeFileCall(const RecordedCall& call);

} // namespace Fake
