// SplitCsvStr: one CSV line into its fields.

#include "skerrow/skerrow.h"
#include "skerrow/stringtrim.h"

namespace {

constexpr char kQuote = '"';

// Trims a field and undoes its quoting: with the line feed as separator only a
// trailing carriage return goes; otherwise a field enclosed in double quotes
// loses them and each doubled quote inside becomes one.
std::string finishField(std::string field, char separator)
{
    Skerrow::trim(field);
    if (separator == '\n') {
        if (!field.empty() && field.back() == '\r')
            field.pop_back();
        return field;
    }
    if (field.size() < 2 || field.front() != kQuote || field.back() != kQuote)
        return field;
    const std::string inner = field.substr(1, field.size() - 2);
    std::string unquoted;
    unquoted.reserve(inner.size());
    for (std::size_t i = 0; i < inner.size(); ++i) {
        unquoted += inner[i];
        if (inner[i] == kQuote && i + 1 < inner.size() && inner[i + 1] == kQuote)
            ++i;
    }
    return unquoted;
}

} // namespace

int SplitCsvStr(const std::string* line, std::vector<std::string>* fields, char separator)
{
    if (!fields)
        return -1;
    fields->clear();
    if (!line || line->empty())
        return -1;
    // A line without the separator is one field, untouched.
    if (line->find(separator) == std::string::npos) {
        fields->push_back(*line);
        return 0;
    }

    // One separator behind the last field, so that a line that already ends
    // with the separator gives no empty last field.
    std::string copy = *line;
    if (copy.back() != separator)
        copy += separator;

    std::size_t quotes = 0;
    std::size_t fieldStart = 0;
    for (std::size_t i = 0; i < copy.size(); ++i) {
        if (copy[i] == kQuote) {
            ++quotes;
        } else if (copy[i] == separator && quotes % 2 == 0) {
            fields->push_back(finishField(copy.substr(fieldStart, i - fieldStart), separator));
            fieldStart = i + 1;
        }
    }
    // A quote left open swallows the separators behind it; the rest of the
    // line is still the last field, not lost.
    if (fieldStart < line->size())
        fields->push_back(finishField(line->substr(fieldStart), separator));
    return 0;
}
