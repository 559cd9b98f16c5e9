#include "skerrow/filepathhandler.h"

#include "skerrow/filepathchecker.h"
#include "skerrow/skerrow.h"
#include "skerrow/stringtrim.h"

namespace FF {
namespace COMMON {

namespace {

bool isSeparator(char c)
{
    return c == '/' || c == '\\';
}

} // namespace

FilePathHandler::FilePathHandler(IPathChecker* checker)
    : m_checker(checker)
{
}

FilePathHandler::~FilePathHandler()
{
    if (m_checker)
        m_checker->release();
}

void FilePathHandler::handle(const std::string& input)
{
    // Every early return leaves the caller's text as it was.
    m_result = input;

    std::string copy = input;
    cleanPath(copy);
    if (m_checker && !m_checker->checkPath(copy))
        return;

    std::string output;
    auto appendName = [&](std::string name) {
        cleanName(name);
        if (m_checker && !m_checker->checkName(name))
            return false;
        output += name;
        return true;
    };

    unsigned partStart = 0;
    unsigned index = 0;
    const unsigned size = static_cast<unsigned>(copy.size());
    while (index < size) {
        if (!isSeparator(copy[index])) {
            ++index;
            continue;
        }
        if (index != 0 && !appendName(copy.substr(partStart, index - partStart)))
            return;
        const unsigned runEnd = skipSeparators(copy, index);
        output += '/';
        partStart = runEnd + 1;
        index = partStart;
    }
    // What follows the last separator run is the last name. An empty copy,
    // which only a handler without a checker gets this far with, gives one
    // empty name.
    if (partStart < size || size == 0) {
        if (!appendName(copy.substr(partStart)))
            return;
    }

    if (!output.empty())
        m_result = output;
}

void FilePathHandler::cleanPath(std::string& s)
{
    std::string kept;
    kept.reserve(s.size());
    for (char c : s) {
        if (c != '\r' && c != '\n')
            kept += c;
    }
    s = std::move(kept);
    Skerrow::trim(s);
}

void FilePathHandler::cleanName(std::string& name)
{
    if (name == ".")
        return;
    Skerrow::trimLeft(name);
    const auto last = name.find_last_not_of(" \t.");
    name.erase(last == std::string::npos ? 0 : last + 1);
}

unsigned FilePathHandler::skipSeparators(const std::string& s, unsigned pos)
{
    while (pos + 1 < s.size() && isSeparator(s[pos + 1]))
        ++pos;
    return pos;
}

} // namespace COMMON
} // namespace FF

void Vexa_HandleFilePath(std::string* path, FF::COMMON::IPathChecker* checker)
{
    if (!path)
        return;
    FF::COMMON::FilePathHandler handler(checker);
    handler.handle(*path);
    *path = handler.result();
}

int Vexa_GetFilePath(std::string* path)
{
    if (!path)
        return -1;
    FF::COMMON::FilePathChecker checker;
    Vexa_HandleFilePath(path, &checker);
    return checker.error() == 0 ? 0 : -1;
}
