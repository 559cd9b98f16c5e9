#pragma once

// Names and values of the tool's user interface settings, in one place.

namespace BrellfinUi {

// The language settings file beside the program, its section and key.
constexpr const char* kLanguageFileName = "VexaSetCfg.ini";
constexpr const char* kLanguageSection = "SystemVars";
constexpr const char* kLanguageKey = "LanguageValue";
// Windows language identifiers of the two string tables.
constexpr int kLanguageChinese = 2052;
constexpr int kLanguageEnglish = 1033;
// The settings file reader takes at most this many characters of the value.
constexpr int kLanguageValueMaxChars = 99;

} // namespace BrellfinUi
