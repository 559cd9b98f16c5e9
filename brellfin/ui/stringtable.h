#pragma once

// The tool's string table: every text it shows, in English and in Chinese.

#include "brellfin/ui/stringid.h"

namespace BrellfinUi {

enum class Language { English, Chinese };

// The UTF-8 text of string id in language, or nullptr when the table has no such id.
const char* stringTableText(StringId id, Language language);

} // namespace BrellfinUi
