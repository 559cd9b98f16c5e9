#include "framework/net/leftrunning.h"

#include <mutex>
#include <utility>
#include <vector>

namespace FF {
namespace Net {

namespace {

struct Kept {
    std::shared_ptr<void> object;
    std::function<bool()> left;
};

struct Registry {
    std::mutex lock;
    std::vector<Kept> kept; // under lock
};

// Made once and never destroyed: the objects it holds may still have their
// threads running when the process ends, and must not be deleted then.
Registry& registry()
{
    static Registry* const instance = new Registry;
    return *instance;
}

} // namespace

void LeftRunning::keep(std::shared_ptr<void> object, std::function<bool()> left)
{
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> guard(r.lock);
        r.kept.push_back({std::move(object), std::move(left)});
    }
    sweep();
}

void LeftRunning::keepForRestOfProcess(const void* object)
{
    keep(std::shared_ptr<void>(const_cast<void*>(object), [](void*) {}), [] { return false; });
}

void LeftRunning::sweep()
{
    std::vector<Kept> done;
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> guard(r.lock);
        for (auto it = r.kept.begin(); it != r.kept.end();) {
            if (it->left()) {
                done.push_back(std::move(*it));
                it = r.kept.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Deleted outside the lock: a destructor may keep something of its own.
    done.clear();
}

std::size_t LeftRunning::count()
{
    Registry& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    return r.kept.size();
}

} // namespace Net
} // namespace FF
