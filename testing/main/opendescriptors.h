#pragma once

// How many descriptors this process holds open, so that a test can show that
// a failure path or an ended object leaves none behind. The count is only
// steady while no other thread of the test opens or closes descriptors.

#include <dirent.h>

namespace TestDescriptors {

// The entries of /proc/self/fd (the listing's own descriptor among them, the
// same in every count); -1 without /proc.
inline int openDescriptorCount()
{
    DIR* listing = ::opendir("/proc/self/fd");
    if (!listing)
        return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(listing)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(listing);
    return count;
}

} // namespace TestDescriptors
