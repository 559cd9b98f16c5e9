#include "testing/fakepassthrough/escapedecoder.h"

#include <gtest/gtest.h>

using Fake::EscapeDecoder;

TEST(FakePassThroughEscapes, EscapedEscapeIsOneDataByteAndRecordsAreKeptApart)
{
    EscapeDecoder decoder;
    const std::vector<uint8_t> in = {0x61, 0x00, 'b', 0x61, 0x10, 0x80, 0x25, 0x00, 0x00,
                                     0x61, 0x11, 8,   0,    0,    0x61, 0x00, 0xFF};
    EXPECT_EQ(decoder.feed(in.data(), in.size()), (std::vector<uint8_t>{0x61, 'b', 0x61, 0xFF}));
    ASSERT_EQ(decoder.records().size(), 2u);
    EXPECT_EQ(decoder.records()[0].code, 0x10);
    EXPECT_EQ(decoder.records()[0].payload, (std::vector<uint8_t>{0x80, 0x25, 0x00, 0x00})); // 9600
    EXPECT_EQ(decoder.records()[1].code, 0x11);
}

TEST(FakePassThroughEscapes, SequencesSplitAcrossReads)
{
    EscapeDecoder decoder;
    std::vector<uint8_t> out;
    for (uint8_t byte : std::vector<uint8_t>{'x', 0x61, 0x10, 1, 2, 3, 4, 0x61, 0x00})
        for (uint8_t b : decoder.feed(&byte, 1))
            out.push_back(b);
    EXPECT_EQ(out, (std::vector<uint8_t>{'x', 0x61}));
    ASSERT_EQ(decoder.records().size(), 1u);
    EXPECT_EQ(decoder.records()[0].payload, (std::vector<uint8_t>{1, 2, 3, 4}));
}
