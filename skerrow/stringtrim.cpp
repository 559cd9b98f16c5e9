#include "skerrow/stringtrim.h"

#include "framework/utils/ffstring.h"

#include <utility>

namespace Skerrow {

void trim(std::string& s)
{
    FF::utils::String text(std::move(s));
    text.trim();
    s = std::move(text);
}

void trimLeft(std::string& s)
{
    FF::utils::String text(std::move(s));
    text.trim_left();
    s = std::move(text);
}

} // namespace Skerrow
