#include "platform/serial/serialspeed.h"

#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <cerrno>

// <sys/ioctl.h> would drag in glibc's termios; the call itself is all we need.
extern "C" int ioctl(int fd, unsigned long request, ...);

namespace Serial {

bool setExactSpeed(int fd, unsigned baud)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    if (ioctl(fd, TCSETS2, &t) != 0)
        return false;
    struct termios2 back {};
    return ioctl(fd, TCGETS2, &back) == 0 && back.c_ospeed == baud;
}

bool readSpeed(int fd, unsigned* baud)
{
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0)
        return false;
    *baud = t.c_ospeed;
    return true;
}

} // namespace Serial
