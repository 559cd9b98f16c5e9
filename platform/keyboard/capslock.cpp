#include "platform/keyboard/capslock.h"

#include <QGuiApplication>

namespace Platform {

namespace {
constexpr quint32 kWindowsCapsLock = 0x100;
constexpr quint32 kX11LockMask = 0x2;
} // namespace

bool capsLockFromNativeModifiers(quint32 nativeModifiers, const QString& platformName)
{
    if (platformName == QLatin1String("windows"))
        return nativeModifiers & kWindowsCapsLock;
    if (platformName == QLatin1String("xcb"))
        return nativeModifiers & kX11LockMask;
    return false;
}

bool capsLockFromNativeModifiers(quint32 nativeModifiers)
{
    return capsLockFromNativeModifiers(nativeModifiers, QGuiApplication::platformName());
}

} // namespace Platform
