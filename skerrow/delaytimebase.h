#pragma once

// The cancellable delay object handed out by CreateDelayTimeObj.

#include "skerrow/skerrowexport.h"

// Callers in other modules call these through the virtual table, so the order
// of the virtual functions is part of the library's interface: the destructor,
// start, stop, wait, wake.
class SKERROW_EXPORT DelayTimeBase {
public:
    virtual ~DelayTimeBase() = default;
    // Arms the object; true in every case.
    virtual bool start() = 0;
    // Disarms the object and releases every waiter, exactly as wake() does.
    virtual void stop() = 0;
    // Blocks while the object is armed, for at most the given time. True when
    // the object was (or became) disarmed, false when the time ran out.
    virtual bool wait(unsigned long milliseconds) = 0;
    // Disarms the object and releases every waiter.
    virtual void wake() = 0;
};
