#include "testing/fakefileservice/filecalllog.h"

#include "testing/fakepanel/fakepanelconstants.h"
#include "testing/fakepanel/wirereader.h"

namespace Fake {

namespace {

bool readValue(WireReader& in, FileCallArg& arg)
{
    const std::string& type = arg.typeName;
    if (type == kTypeUInt || type == kTypeHandle || type == kTypeInt) {
        uint32_t value = 0;
        if (!in.u32(value))
            return false;
        arg.number = value;
        return true;
    }
    if (type == kTypeULongLong || type == kTypeLongLong)
        return in.u64(arg.number);
    if (type == kTypeBool) {
        uint8_t value = 0;
        if (!in.u8(value))
            return false;
        arg.number = value;
        return true;
    }
    if (type == kTypeString)
        return in.string(arg.text);
    if (type == kTypeBytes)
        return in.byteVector(arg.bytes);
    if (type == kTypeStringVector) {
        uint32_t count = 0;
        if (!in.u32(count))
            return false;
        for (uint32_t i = 0; i < count; ++i) {
            std::string name;
            if (!in.string(name))
                return false;
            arg.names.push_back(std::move(name));
        }
        return true;
    }
    return false;
}

} // namespace

FileCall decodeFileCall(const RecordedCall& call)
{
    FileCall decoded;
    decoded.method = call.method;
    decoded.raw = call.args;
    decoded.connection = call.connection;
    WireReader in(call.args);
    uint32_t count = 0;
    if (!in.u32(count))
        return decoded;
    for (uint32_t i = 0; i < count; ++i) {
        FileCallArg arg;
        if (!in.string(arg.typeName) || !readValue(in, arg))
            return decoded;
        decoded.args.push_back(std::move(arg));
    }
    decoded.wellFormed = in.atEnd();
    return decoded;
}

} // namespace Fake
