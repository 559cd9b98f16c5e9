#pragma once

// The path checker of Vexa_GetFilePath: forbidden characters, empty and long names, too many names.

#include "skerrow/ipathchecker.h"
#include "skerrow/skerrowexport.h"

#include <string>

namespace FF {
namespace COMMON {

class SKERROW_EXPORT FilePathChecker : public IPathChecker {
public:
    // Error codes, in the order the checks set them.
    static constexpr int kEmptyPath = -1;
    static constexpr int kForbiddenCharacter = -2;
    static constexpr int kEmptyName = -3;
    static constexpr int kNameTooLong = -4;
    static constexpr int kTooManyNames = -5;

    // Longest name in bytes, and most names one checker lets pass.
    static constexpr std::size_t kMaxNameBytes = 228;
    static constexpr unsigned kMaxNames = 500;

    FilePathChecker();
    ~FilePathChecker() override;

    bool checkPath(const std::string& path) override;
    bool checkName(const std::string& name) override;
    void release() override;
    int error() override;

private:
    unsigned m_names = 0;
    int m_error = 0;
};

} // namespace COMMON
} // namespace FF
