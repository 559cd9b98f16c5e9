#pragma once

// The "where/info" text of the framework exception an action throws, so that a
// test checks both halves in one comparison.

#include "framework/net/exception.h"

#include <functional>
#include <string>

inline std::string failureOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const FF::Net::Exception& e) {
        return e.where() + "/" + e.info();
    }
    return "no exception";
}
