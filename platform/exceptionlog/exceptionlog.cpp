#include "platform/exceptionlog/exceptionlog.h"

#include <QDebug>

#include <exception>

namespace platform {

void reportEscapedException(const char* where) noexcept
{
    const char* place = where ? where : "?";
    const std::exception_ptr current = std::current_exception();
    if (!current) {
        qWarning("%s: failed, with no exception under way", place);
        return;
    }
    try {
        std::rethrow_exception(current);
    } catch (const std::exception& e) {
        qWarning("%s: failed: %s", place, e.what());
    } catch (...) {
        qWarning("%s: failed with an exception that is no std::exception", place);
    }
}

} // namespace platform
