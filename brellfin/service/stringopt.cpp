#include "brellfin/service/stringopt.h"

QString StringOpt::FromUtf8ToWide(const std::string& text)
{
    return QString::fromUtf8(text.data(), int(text.size()));
}

std::string StringOpt::FromWideToUtf8(const QString& text)
{
    return text.toUtf8().toStdString();
}
