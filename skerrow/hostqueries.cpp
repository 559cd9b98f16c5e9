// The beep, the float comparison and the platform queries whose answers are fixed here.

#include "skerrow/skerrow.h"

#include "platform/beep/consolebeep.h"

int Vexa_Beep(int frequency, int duration)
{
    return Platform::consoleBeep(frequency, duration) ? 1 : 0;
}

bool Vexa_IsEqual(long double a, long double b, long double epsilon)
{
    const long double difference = a > b ? a - b : b - a;
    return epsilon > difference;
}

int Vexa_GetPlatform_Arch(...)
{
    return 0;
}

int Vexa_IsDataDiskEnough(...)
{
    return 1;
}

long long Vexa_GetFreeDiskSize(...)
{
    return -1;
}

int Vexa_Check_Mount_Path(...)
{
    return 1;
}

int Vexa_udisk_rename(...)
{
    return -1;
}

int Vexa_udisk_mkpath(...)
{
    return -1;
}

int Vexa_udisk_open(...)
{
    return -1;
}
