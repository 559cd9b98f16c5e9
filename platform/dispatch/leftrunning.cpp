#include "platform/dispatch/leftrunning.h"

#include <mutex>
#include <vector>

namespace platform {

void keepForRestOfProcess(const void* object)
{
    // Made once and never destroyed: nothing kept is freed at exit either.
    static std::mutex* const mutex = new std::mutex;
    static std::vector<const void*>* const kept = new std::vector<const void*>;
    std::lock_guard<std::mutex> lock(*mutex);
    kept->push_back(object);
}

} // namespace platform
