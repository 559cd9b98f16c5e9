#pragma once

// Trimming of std::string values with the framework string's own rules.

#include <string>

namespace Skerrow {

// Removes the framework's blanks at both ends, in place.
void trim(std::string& s);
// Removes the framework's blanks at the start, in place.
void trimLeft(std::string& s);

} // namespace Skerrow
