#include "platform/beep/consolebeep.h"

#include "platform/fd/uniquefd.h"

#include <fcntl.h>
#include <linux/input.h>
#include <linux/kd.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace Platform {

namespace {

// The console speaker's timer runs at this rate; a tone is given as its divisor.
constexpr long kTimerHz = 1193180;

// Tried in this order: the foreground virtual console, the system console, and
// the PC speaker's input device where the kernel has one.
const char* const kDevices[] = {
    "/dev/tty0",
    "/dev/console",
    "/dev/input/by-path/platform-pcspkr-event-spkr",
};

void sleepMs(int ms)
{
    timespec remaining{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {}
}

bool writeTone(int fd, int frequency)
{
    input_event event{};
    event.type = EV_SND;
    event.code = SND_TONE;
    event.value = frequency;
    return write(fd, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

bool isInputDevice(int fd)
{
    int version = 0;
    return ioctl(fd, EVIOCGVERSION, &version) == 0;
}

} // namespace

bool consoleBeepOn(const char* device, int frequency, int durationMs)
{
    if (!device || frequency < kBeepMinFrequency || frequency > kBeepMaxFrequency || durationMs < 0)
        return false;
    const platform::UniqueFd speaker(open(device, O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!speaker)
        return false;
    const int fd = speaker.get();

    bool played = false;
    if (isInputDevice(fd)) {
        if (writeTone(fd, frequency)) {
            sleepMs(durationMs);
            writeTone(fd, 0);
            played = true;
        }
    } else if (ioctl(fd, KIOCSOUND, static_cast<unsigned long>(kTimerHz / frequency)) == 0) {
        // KIOCSOUND holds the tone until it is turned off, so the call lasts as
        // long as the tone, like the beep service.
        sleepMs(durationMs);
        ioctl(fd, KIOCSOUND, 0UL);
        played = true;
    }
    return played;
}

bool consoleBeep(int frequency, int durationMs)
{
    for (const char* device : kDevices) {
        if (consoleBeepOn(device, frequency, durationMs))
            return true;
    }
    return false;
}

} // namespace Platform
