#pragma once

// What Vexa_HandleFilePath consults while it normalises a path.

#include "skerrow/skerrowexport.h"

#include <string>

namespace FF {
namespace COMMON {

// Callers may pass checkers of their own, so the order of the virtual
// functions is part of the library's interface: checkPath, checkName,
// release, error, the destructor.
class SKERROW_EXPORT IPathChecker {
public:
    // The whole cleaned path, before it is split into names.
    virtual bool checkPath(const std::string& path) = 0;
    // One cleaned name of the path.
    virtual bool checkName(const std::string& name) = 0;
    // Called once by the path handler when it is done with the checker.
    virtual void release() = 0;
    // The code of the last failed check; 0 when every check passed.
    virtual int error() = 0;
    virtual ~IPathChecker() = default;
};

} // namespace COMMON
} // namespace FF
