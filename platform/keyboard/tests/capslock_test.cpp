#include "platform/keyboard/capslock.h"

#include <gtest/gtest.h>

using Platform::capsLockFromNativeModifiers;

TEST(CapsLock, OnlyThePlatformsOwnLockBitCounts)
{
    const struct {
        quint32 modifiers;
        const char* platform; // null: no platform name
        bool on;
    } cases[] = {
        // Under X11 the lock bit alone counts, with Shift or without; the Windows bit means nothing there.
        {0x2, "xcb", true},
        {0x2 | 0x1, "xcb", true},
        {0x1, "xcb", false},
        {0x100, "xcb", false},
        {0x100, "windows", true},
        {0x2, "windows", false},
        // Platforms without a lock bit never report one.
        {0xFFFFFFFFu, "offscreen", false},
        {0xFFFFFFFFu, "wayland", false},
        {0xFFFFFFFFu, nullptr, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(capsLockFromNativeModifiers(c.modifiers, QString::fromLatin1(c.platform)), c.on)
            << (c.platform ? c.platform : "no platform") << " 0x" << std::hex << c.modifiers;
}
