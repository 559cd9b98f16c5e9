#pragma once

// Whether Caps Lock is on, read from the native modifiers of a key event. Qt
// reports no Caps Lock modifier of its own; each windowing platform keeps the
// lock state in a bit of its own.

#include <QString>
#include <QtGlobal>

namespace Platform {

// Windows: bit 0x100 of the native modifiers. X11 (xcb): the lock bit 0x2
// of the core modifier state. Any other platform gives no such bit: off.
bool capsLockFromNativeModifiers(quint32 nativeModifiers, const QString& platformName);

// The same for the running application's platform.
bool capsLockFromNativeModifiers(quint32 nativeModifiers);

} // namespace Platform
