#include "testing/fakepanel/framecodec.h"

#include "testing/fakepanel/fakepanelconstants.h"

#include <gtest/gtest.h>

using namespace Fake;

TEST(FakePanelFrames, HeaderCarriesLengthAndItsRemainderBy127)
{
    EXPECT_EQ(encodeFrame({1, 2, 3, 4, 5}), (std::vector<uint8_t>{0x05, 0, 0, 0, 0, 0, 0, 0x0A, 1, 2, 3, 4, 5}));
    EXPECT_EQ(encodeFrameHeader(127) >> 57, 0u);
    EXPECT_EQ(encodeFrameHeader(128) >> 57, 1u);
    EXPECT_EQ(decodeFrameHeader(encodeFrameHeader(70000)), 70000u);
    EXPECT_FALSE(decodeFrameHeader(5 | (uint64_t(3) << 57)));
}

TEST(FakePanelFrames, FramesFedOneByteAtATimeAreReassembled)
{
    std::vector<uint8_t> stream = encodeFrame({0xA1, 0xAA, 0xAA, 0xAA});
    const std::vector<uint8_t> second = encodeFrame(std::vector<uint8_t>(300, 7));
    stream.insert(stream.end(), second.begin(), second.end());

    FrameAssembler assembler(kMaxFrameBody);
    for (uint8_t byte : stream)
        ASSERT_TRUE(assembler.feed(&byte, 1));
    ASSERT_TRUE(assembler.hasFrame());
    EXPECT_EQ(assembler.takeFrame(), (std::vector<uint8_t>{0xA1, 0xAA, 0xAA, 0xAA}));
    ASSERT_TRUE(assembler.hasFrame());
    EXPECT_EQ(assembler.takeFrame(), std::vector<uint8_t>(300, 7));
    EXPECT_FALSE(assembler.hasFrame());
    EXPECT_EQ(assembler.state(), FrameAssembler::State::Header);
}

TEST(FakePanelFrames, BadCheckOversizedAndEmptyBodiesBreakTheStream)
{
    const std::vector<uint8_t> bad = encodeFrameWithBadCheck({1, 2, 3, 4});
    FrameAssembler checkFails(kMaxFrameBody);
    EXPECT_FALSE(checkFails.feed(bad.data(), bad.size()));
    EXPECT_FALSE(checkFails.hasFrame());

    const std::vector<uint8_t> huge = encodeFrame({}); // header only, then patched
    FrameAssembler tooLarge(16);
    const uint64_t header = encodeFrameHeader(17);
    EXPECT_FALSE(tooLarge.feed(reinterpret_cast<const uint8_t*>(&header), 8));

    FrameAssembler empty(kMaxFrameBody);
    EXPECT_FALSE(empty.feed(huge.data(), huge.size()));
    EXPECT_EQ(empty.state(), FrameAssembler::State::Broken);
}
