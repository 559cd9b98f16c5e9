#pragma once

// Line speeds by number, including those without a B constant (termios2).
// Kept apart because the kernel's termios2 header clashes with <termios.h>.

namespace Serial {

// Sets input and output speed to exactly `baud`; false when the driver refuses.
bool setExactSpeed(int fd, unsigned baud);

// The output speed the driver holds now; false when it cannot be read.
bool readSpeed(int fd, unsigned* baud);

} // namespace Serial
