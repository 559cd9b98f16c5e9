#include "skerrow/filepathchecker.h"

namespace FF {
namespace COMMON {

namespace {

// Characters no path may hold; built once when the library is loaded.
const std::string kForbidden = ":*?<>|\"";

} // namespace

FilePathChecker::FilePathChecker() = default;

FilePathChecker::~FilePathChecker() = default;

bool FilePathChecker::checkPath(const std::string& path)
{
    if (path.empty()) {
        m_error = kEmptyPath;
        return false;
    }
    if (path.find_first_of(kForbidden) != std::string::npos) {
        m_error = kForbiddenCharacter;
        return false;
    }
    return true;
}

bool FilePathChecker::checkName(const std::string& name)
{
    if (name.empty()) {
        m_error = kEmptyName;
        return false;
    }
    if (name.size() > kMaxNameBytes) {
        m_error = kNameTooLong;
        return false;
    }
    // The count runs over the whole path.
    if (++m_names > kMaxNames) {
        m_error = kTooManyNames;
        return false;
    }
    return true;
}

void FilePathChecker::release() {}

int FilePathChecker::error()
{
    return m_error;
}

} // namespace COMMON
} // namespace FF
