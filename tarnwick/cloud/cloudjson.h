#pragma once

// Reading the cloud service's JSON bodies: a bounded parse into an object and
// lenient member readers (a number counts as a boolean, an absent text is empty).

#include <QByteArray>
#include <QString>

#include <nlohmann/json.hpp>

namespace CloudJson {

using Json = nlohmann::ordered_json;

// Deepest nesting of arrays and objects a body may have (the outer object counts).
constexpr int kNestingLimit = 50;

// The depth of the deepest array or object in `text`, counted without
// parsing (strings and their escapes are skipped); stops counting past `stopAt`.
int nestingDepth(const QByteArray& text, int stopAt);

// Parses `body` into `out`; false when it is not JSON, nests deeper than
// kNestingLimit, or is not an object.
bool parseObject(const QByteArray& body, Json& out);

// Whether the object has the member (null counts as present).
bool has(const Json& object, const char* key);

// A boolean member: true, false, or a number (non-zero is true); anything else is false.
bool readBool(const Json& object, const char* key);

// An integer member; a floating number is cut towards zero, a boolean reads
// as 0 or 1, anything else (absent included) as 0.
qint32 readInt(const Json& object, const char* key);

// A text member as UTF-8; a number reads as its JSON text, anything else
// (absent included) as an empty text.
QString readText(const Json& object, const char* key);

} // namespace CloudJson
