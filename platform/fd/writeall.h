#pragma once

// Writing a whole buffer to a descriptor, the one loop every module uses: a
// write cut short by a signal, or taken only in part (a pipe, a socket or a
// disk with less room than asked), goes on with the rest. A socket is written
// with MSG_NOSIGNAL, so a peer that has gone is a failure (EPIPE), not SIGPIPE.

#include <cstddef>

namespace platform {

// Writes all `size` bytes to a blocking descriptor. False with errno set when
// the descriptor fails (a non-blocking one that is full fails with EAGAIN:
// writeAllWithin is for those).
bool writeAll(int fd, const void* data, std::size_t size);

// How long writeAllWithin may wait for room, and how.
struct WriteWait {
    int timeoutMs = 0; // 0: write what fits now, wait for nothing
    // Room is looked for again at least this often (<= 0: only when poll
    // reports it). A pty's writer is not always woken when its reader makes
    // room: the room comes later, from the kernel's flush.
    int retryMs = 0;
    // A hang-up without room ends the write. A pty master reports a hang-up
    // while nobody holds the other end, yet takes data: it waits on.
    bool hangUpEnds = true;
};

// What a bounded write achieved.
struct WriteProgress {
    std::size_t written = 0; // bytes the descriptor took
    int error = 0;           // errno of the failure that ended the write, 0 when none
    bool hungUp = false;     // ended by a hang-up (see WriteWait::hangUpEnds)
};

// Writes `size` bytes to a non-blocking descriptor until all are written, it
// fails or wait.timeoutMs have passed; while it is full, waits for room
// (POLLOUT). A socket is never waited on inside send (MSG_DONTWAIT).
WriteProgress writeAllWithin(int fd, const void* data, std::size_t size, const WriteWait& wait);

} // namespace platform
