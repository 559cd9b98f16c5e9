#pragma once

// How much of this process's memory is resident, as the kernel counts it
// (VmRSS), so that a test can show that what many ended objects held was
// given back rather than kept. AddressSanitizer holds freed memory back (its
// quarantine, up to 256 MiB) before it reuses or returns it: under it, the
// quarantine is drained and the freed memory returned first, through the
// sanitizer's own interface, so that the count shows what is still in use.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
extern "C" void __sanitizer_purge_allocator();
#endif

namespace TestMemory {

// VmRSS of /proc/self/status in KiB; 0 without /proc.
inline long residentKiB()
{
#if defined(__SANITIZE_ADDRESS__)
    __sanitizer_purge_allocator();
#endif
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return 0;
    long kib = 0;
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, "VmRSS:", 6) == 0) {
            kib = std::strtol(line + 6, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return kib;
}

// Whether the second of two like rounds of work left the resident memory
// where the first did: it grew by less than a quarter of what the round took
// at its peak. The first round brings the process to what any such round
// needs once (thread bookkeeping, the allocator's own structures); what a
// later round holds on to is the allocator's margin, or a leak. Under
// ThreadSanitizer the figure says nothing of the program's memory: the
// sanitizer keeps the history of every thread that has ended and the shadow
// of what was freed on a schedule of its own, and cannot be asked to give
// them back; there the figures are for the log only.
inline bool staysFlat(long firstAfter, long secondBefore, long secondAtPeak, long secondAfter)
{
#if defined(__SANITIZE_THREAD__)
    static_cast<void>(firstAfter);
    static_cast<void>(secondBefore);
    static_cast<void>(secondAtPeak);
    static_cast<void>(secondAfter);
    return true;
#else
    return secondAfter - firstAfter < (secondAtPeak - secondBefore) / 4;
#endif
}

} // namespace TestMemory
