#include "quillet/app/quilletconstants.h"

namespace Quillet {

namespace {
Timing& current()
{
    static Timing value;
    return value;
}
} // namespace

const Timing& timing()
{
    return current();
}

void setTiming(const Timing& timing)
{
    current() = timing;
}

} // namespace Quillet
