#include "tarnwick/cloud/cloudjson.h"

#include <cmath>
#include <limits>

namespace CloudJson {

int nestingDepth(const QByteArray& text, int stopAt)
{
    int depth = 0;
    int deepest = 0;
    bool inString = false;
    bool escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
        case '"': inString = true; break;
        case '{':
        case '[':
            if (++depth > deepest) {
                deepest = depth;
                if (deepest > stopAt)
                    return deepest;
            }
            break;
        case '}':
        case ']':
            if (depth > 0)
                --depth;
            break;
        default: break;
        }
    }
    return deepest;
}

bool parseObject(const QByteArray& body, Json& out)
{
    // The depth is checked before parsing so that a hostile body never
    // builds (or tears down) a deep tree.
    if (nestingDepth(body, kNestingLimit) > kNestingLimit)
        return false;
    Json parsed = Json::parse(body.constData(), body.constData() + body.size(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object())
        return false;
    out = std::move(parsed);
    return true;
}

bool has(const Json& object, const char* key)
{
    return object.is_object() && object.contains(key);
}

bool readBool(const Json& object, const char* key)
{
    if (!has(object, key))
        return false;
    const Json& value = object[key];
    if (value.is_boolean())
        return value.get<bool>();
    if (value.is_number_integer())
        return value.get<long long>() != 0;
    if (value.is_number_float())
        return value.get<double>() != 0.0;
    return false;
}

qint32 readInt(const Json& object, const char* key)
{
    if (!has(object, key))
        return 0;
    const Json& value = object[key];
    if (value.is_boolean())
        return value.get<bool>() ? 1 : 0;
    if (value.is_number_unsigned()) {
        const auto v = value.get<unsigned long long>();
        return v > static_cast<unsigned long long>(std::numeric_limits<qint32>::max())
                   ? std::numeric_limits<qint32>::max()
                   : static_cast<qint32>(v);
    }
    if (value.is_number_integer()) {
        const auto v = value.get<long long>();
        if (v > std::numeric_limits<qint32>::max())
            return std::numeric_limits<qint32>::max();
        if (v < std::numeric_limits<qint32>::min())
            return std::numeric_limits<qint32>::min();
        return static_cast<qint32>(v);
    }
    if (value.is_number_float()) {
        const double v = value.get<double>();
        if (std::isnan(v))
            return 0;
        if (v >= static_cast<double>(std::numeric_limits<qint32>::max()))
            return std::numeric_limits<qint32>::max();
        if (v <= static_cast<double>(std::numeric_limits<qint32>::min()))
            return std::numeric_limits<qint32>::min();
        return static_cast<qint32>(v);
    }
    return 0;
}

QString readText(const Json& object, const char* key)
{
    if (!has(object, key))
        return QString();
    const Json& value = object[key];
    if (value.is_string()) {
        const std::string& s = value.get_ref<const std::string&>();
        return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
    }
    if (value.is_number())
        return QString::fromStdString(value.dump());
    return QString();
}

} // namespace CloudJson
