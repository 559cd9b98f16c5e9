#pragma once

// Typed value writers and readers of the wire format (little-endian, nothing
// byte-swapped) and the type names that travel in front of call arguments
// and results.

#include "framework/utils/ffstring.h"
#include "framework/utils/fftypes.h"
#include "framework/utils/ibuffer.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace FF {
namespace utils {

// Named by the call stubs' result reading, which lets it pass unchanged; the
// readers below never throw it.
class deserialize_block_error : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

void Serialize(IBuffer* buffer, unsigned int value);
void Serialize(IBuffer* buffer, int value);
void Serialize(IBuffer* buffer, unsigned long long value);
void Serialize(IBuffer* buffer, long long value);
// std::uint64_t and std::int64_t: the same 8 bytes as the long long forms.
void Serialize(IBuffer* buffer, unsigned long value);
void Serialize(IBuffer* buffer, long value);
void Serialize(IBuffer* buffer, bool value);
void Serialize(IBuffer* buffer, Handle value);
void Serialize(IBuffer* buffer, const std::string& value);
void Serialize(IBuffer* buffer, const String& value);
void Serialize(IBuffer* buffer, const char* value);
void Serialize(IBuffer* buffer, const std::vector<byte>& value);
void Serialize(IBuffer* buffer, const std::vector<std::string>& value);
void Serialize(IBuffer* buffer, const std::vector<String>& value);
void Serialize(IBuffer* buffer, const std::vector<std::pair<std::string, int>>& value);
void Serialize(IBuffer* buffer, const std::pair<String, String>& value);

// Readers return false on short data and never allocate more than the
// bytes that remain in the buffer.
bool Deserialize(IBuffer* buffer, unsigned int& value);
bool Deserialize(IBuffer* buffer, int& value);
bool Deserialize(IBuffer* buffer, unsigned long long& value);
bool Deserialize(IBuffer* buffer, long long& value);
bool Deserialize(IBuffer* buffer, unsigned long& value);
bool Deserialize(IBuffer* buffer, long& value);
bool Deserialize(IBuffer* buffer, bool& value);
bool Deserialize(IBuffer* buffer, Handle& value);
bool Deserialize(IBuffer* buffer, std::string& value);
bool Deserialize(IBuffer* buffer, String& value);
bool Deserialize(IBuffer* buffer, std::vector<byte>& value);
bool Deserialize(IBuffer* buffer, std::vector<std::string>& value);
bool Deserialize(IBuffer* buffer, std::vector<String>& value);
bool Deserialize(IBuffer* buffer, std::vector<std::pair<std::string, int>>& value);
bool Deserialize(IBuffer* buffer, std::pair<String, String>& value);

// The type name written before a value of type T in calls and replies.
// Records of the panel services add their own specialisations.
template <class T>
struct TypeName;

#define FF_UTILS_TYPE_NAME(Text, ...)                                                                                  \
    template <>                                                                                                        \
    struct TypeName<__VA_ARGS__> {                                                                                     \
        static constexpr const char* value = Text;                                                                     \
    };

FF_UTILS_TYPE_NAME("unsigned int", unsigned int)
FF_UTILS_TYPE_NAME("int", int)
FF_UTILS_TYPE_NAME("bool", bool)
FF_UTILS_TYPE_NAME("long long", long long)
FF_UTILS_TYPE_NAME("unsigned long long", unsigned long long)
FF_UTILS_TYPE_NAME("long long", long)
FF_UTILS_TYPE_NAME("unsigned long long", unsigned long)
FF_UTILS_TYPE_NAME("FF::utils::String", String)
FF_UTILS_TYPE_NAME("FF::utils::String", std::string)
FF_UTILS_TYPE_NAME("FF::Handle", Handle)
FF_UTILS_TYPE_NAME("std::vector<FF::byte>", std::vector<byte>)
FF_UTILS_TYPE_NAME("std::vector<FF::String>", std::vector<String>)
FF_UTILS_TYPE_NAME("std::vector<std::string>", std::vector<std::string>)
FF_UTILS_TYPE_NAME("std::vector<std::pair<std::string, int>>", std::vector<std::pair<std::string, int>>)
FF_UTILS_TYPE_NAME("std::pair<FF::String, FF::String>", std::pair<String, String>)

} // namespace utils
} // namespace FF
