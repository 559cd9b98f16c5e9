#pragma once

// For the ThreadSanitizer tree's annotations (qtsyncannotations.cpp,
// qteventannotations.cpp): the definition that a function of the program
// covers, in the library after it (Qt's, glib's, the run-time's). A symbol
// that is missing stops the program: the annotations would be wrong.

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace TsanAnnotations {

template <typename Function>
Function nextDefinition(const char* symbol)
{
    void* found = dlsym(RTLD_NEXT, symbol);
    if (!found) {
        std::fprintf(stderr, "tsan annotations: %s not found after the program\n", symbol);
        std::abort();
    }
    return reinterpret_cast<Function>(found);
}

} // namespace TsanAnnotations
