#pragma once

// Normalises one path for Vexa_HandleFilePath, consulting an optional IPathChecker.

#include "skerrow/ipathchecker.h"
#include "skerrow/skerrowexport.h"

#include <string>

namespace FF {
namespace COMMON {

// Separators ('/' or '\\') become '/', runs of them become one, a leading or
// trailing separator stays as one '/'; every name is cleaned and checked.
class SKERROW_EXPORT FilePathHandler {
public:
    explicit FilePathHandler(IPathChecker* checker);
    // Calls the checker's release() when a checker is set.
    virtual ~FilePathHandler();

    FilePathHandler(const FilePathHandler&) = delete;
    FilePathHandler& operator=(const FilePathHandler&) = delete;

    // Normalises input into result(); when a check fails, or nothing is left,
    // result() stays equal to input.
    virtual void handle(const std::string& input);
    // Deletes every carriage return and line feed, then trims both ends.
    virtual void cleanPath(std::string& s);
    // Leaves "." alone; otherwise drops the leading blanks and every trailing
    // space, tab and full stop (so ".." becomes empty).
    virtual void cleanName(std::string& name);
    // The index of the last separator of the run that begins at pos.
    virtual unsigned skipSeparators(const std::string& s, unsigned pos);

    const std::string& result() const { return m_result; }

private:
    std::string m_result;
    IPathChecker* m_checker;
};

} // namespace COMMON
} // namespace FF
