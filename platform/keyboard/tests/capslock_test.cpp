#include "platform/keyboard/capslock.h"

#include <gtest/gtest.h>

using Platform::capsLockFromNativeModifiers;

TEST(CapsLock, X11LockBitUnderXcb)
{
    EXPECT_TRUE(capsLockFromNativeModifiers(0x2, "xcb"));
    EXPECT_TRUE(capsLockFromNativeModifiers(0x2 | 0x1, "xcb")); // with Shift
    EXPECT_FALSE(capsLockFromNativeModifiers(0x1, "xcb"));
    EXPECT_FALSE(capsLockFromNativeModifiers(0x100, "xcb")); // the Windows bit means nothing here
}

TEST(CapsLock, WindowsBit)
{
    EXPECT_TRUE(capsLockFromNativeModifiers(0x100, "windows"));
    EXPECT_FALSE(capsLockFromNativeModifiers(0x2, "windows"));
}

TEST(CapsLock, OffWherePlatformHasNoBit)
{
    EXPECT_FALSE(capsLockFromNativeModifiers(0xFFFFFFFFu, "offscreen"));
    EXPECT_FALSE(capsLockFromNativeModifiers(0xFFFFFFFFu, "wayland"));
    EXPECT_FALSE(capsLockFromNativeModifiers(0xFFFFFFFFu, QString()));
}
