#pragma once

// Conversions between UTF-8 text and the tool's wide text (QString).

#include <QString>

#include <string>

class StringOpt {
public:
    static QString FromUtf8ToWide(const std::string& text);
    static std::string FromWideToUtf8(const QString& text);
};
