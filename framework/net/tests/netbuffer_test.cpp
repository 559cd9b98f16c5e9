#include "framework/net/netbuffer.h"

#include <gtest/gtest.h>

#include <cstring>

using FF::Net::NetBuffer;

TEST(NetBuffer, GrowsToTheFirstWriteThenDoubles)
{
    NetBuffer buffer;
    EXPECT_EQ(buffer.capacity(), 0u);
    buffer.write("12345", 5);
    EXPECT_EQ(buffer.capacity(), 5u);
    buffer.write("6", 1);
    EXPECT_EQ(buffer.capacity(), 10u);
    // A shortfall larger than the capacity grows by exactly the shortfall.
    char big[40] = {};
    buffer.write(big, sizeof big);
    EXPECT_EQ(buffer.capacity(), 46u);
    EXPECT_EQ(buffer.size(), 46u);
    EXPECT_EQ(buffer.writePos(), 46u);
    EXPECT_EQ(std::memcmp(buffer.data(), "123456", 6), 0);
}

TEST(NetBuffer, ShortReadTakesNothing)
{
    NetBuffer buffer;
    buffer.write("abc", 3);
    std::uint32_t value = 0;
    EXPECT_FALSE(buffer.read(&value, 4));
    EXPECT_EQ(buffer.readPos(), 0u);
    char two[2];
    EXPECT_TRUE(buffer.read(two, 2));
    EXPECT_EQ(buffer.readPos(), 2u);
    EXPECT_FALSE(buffer.read(two, 2));
    EXPECT_EQ(buffer.readPos(), 2u);
}

TEST(NetBuffer, PositionsBeyondTheSizeAreRefused)
{
    NetBuffer buffer;
    buffer.write("abcdef", 6);
    EXPECT_EQ(buffer.setReadPos(4), 0u);
    EXPECT_EQ(buffer.setReadPos(7), 4u);
    EXPECT_EQ(buffer.readPos(), 4u);
    EXPECT_EQ(buffer.setWritePos(2), 6u);
    buffer.write("XY", 2);
    EXPECT_EQ(buffer.size(), 6u);
    EXPECT_EQ(std::memcmp(buffer.data(), "abXYef", 6), 0);
    EXPECT_EQ(buffer.setWritePos(99), 4u);
    EXPECT_EQ(buffer.writePos(), 4u);
}

TEST(NetBuffer, ResizeKeepsLeadingBytesAndResetsPositions)
{
    NetBuffer buffer;
    buffer.write("abcdef", 6);
    EXPECT_EQ(buffer.resize(3), 6u);
    EXPECT_EQ(buffer.size(), 3u);
    EXPECT_EQ(buffer.capacity(), 3u);
    EXPECT_EQ(buffer.readPos(), 0u);
    EXPECT_EQ(buffer.writePos(), 0u);
    EXPECT_EQ(std::memcmp(buffer.data(), "abc", 3), 0);
    EXPECT_EQ(buffer.resize(0), 3u);
    EXPECT_EQ(buffer.data(), nullptr);
    EXPECT_EQ(buffer.capacity(), 0u);
}

TEST(NetBuffer, ResetKeepsTheBlockReleaseFreesIt)
{
    NetBuffer buffer;
    buffer.write("abcdef", 6);
    FF::byte* block = buffer.data();
    buffer.reset();
    EXPECT_EQ(buffer.size(), 0u);
    EXPECT_EQ(buffer.framedSize(), 0u);
    EXPECT_EQ(buffer.data(), block);
    EXPECT_EQ(buffer.capacity(), 6u);
    buffer.release();
    EXPECT_EQ(buffer.data(), nullptr);
    EXPECT_EQ(buffer.capacity(), 0u);
    buffer.release();
}

TEST(NetBuffer, MoveTakesEverythingAndEmptiesTheSource)
{
    NetBuffer source;
    source.write("abcd", 4);
    std::uint16_t skip;
    source.read(&skip, 2);
    FF::byte* block = source.data();
    NetBuffer target(std::move(source));
    EXPECT_EQ(target.data(), block);
    EXPECT_EQ(target.size(), 4u);
    EXPECT_EQ(target.readPos(), 2u);
    EXPECT_EQ(source.data(), nullptr);
    EXPECT_EQ(source.size(), 0u);
    EXPECT_EQ(source.readPos(), 0u);
    EXPECT_EQ(source.capacity(), 0u);
}

TEST(NetBuffer, HeaderGoesIntoTheHeadroomInFrontOfTheBody)
{
    NetBuffer empty;
    EXPECT_EQ(empty.putHeader(1), nullptr);
    NetBuffer buffer;
    buffer.write("hello", 5);
    EXPECT_EQ(buffer.framedSize(), 13u);
    const FF::byte* frame = buffer.putHeader(0x0A00000000000005ull);
    ASSERT_NE(frame, nullptr);
    const FF::byte expected[13] = {5, 0, 0, 0, 0, 0, 0, 0x0A, 'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(std::memcmp(frame, expected, 13), 0);
    EXPECT_EQ(frame + 8, buffer.data());
}

TEST(NetBuffer, DiscardFrontDropsLeadingBytesInPlace)
{
    NetBuffer buffer;
    buffer.write("0123456789", 10);
    buffer.setReadPos(7);
    FF::byte* block = buffer.data();
    buffer.discardFront(4);
    EXPECT_EQ(buffer.data(), block + 4);
    EXPECT_EQ(buffer.size(), 6u);
    EXPECT_EQ(buffer.capacity(), 6u);
    EXPECT_EQ(buffer.readPos(), 3u);
    EXPECT_EQ(buffer.writePos(), 6u);
    EXPECT_EQ(std::memcmp(buffer.data(), "456789", 6), 0);
    // The frame header still goes right in front of the body.
    EXPECT_EQ(buffer.putHeader(6) + 8, buffer.data());
    // More than is there drops everything.
    NetBuffer other;
    other.write("abc", 3);
    other.discardFront(10);
    EXPECT_EQ(other.size(), 0u);
    EXPECT_EQ(other.readPos(), 0u);
}

TEST(NetBuffer, GrowingOrResettingAfterDiscardFrontTakesTheFrontBack)
{
    NetBuffer grown;
    grown.write("0123456789", 10);
    grown.discardFront(6);
    grown.setWritePos(4);
    grown.write("abcdefghij", 10);
    EXPECT_EQ(grown.size(), 14u);
    EXPECT_EQ(std::memcmp(grown.data(), "6789abcdefghij", 14), 0);

    NetBuffer reset;
    reset.write("0123456789", 10);
    FF::byte* block = reset.data();
    reset.discardFront(6);
    reset.reset();
    EXPECT_EQ(reset.data(), block);
    EXPECT_EQ(reset.capacity(), 10u);
    reset.write("xy", 2);
    EXPECT_EQ(reset.data(), block);
}
