#include "tarnwick/vnc/vncdes.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <cstring>

using namespace VNC;

namespace {

QByteArray answer(const char* password,
                  const QByteArray& challenge = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f"))
{
    uint8_t block[16];
    std::memcpy(block, challenge.constData(), 16);
    encryptVncChallenge(block, password);
    return QByteArray(reinterpret_cast<const char*>(block), 16).toHex();
}

uint8_t mirror(uint8_t b)
{
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i)
        if (b & (1 << i))
            r |= uint8_t(0x80 >> i);
    return r;
}

} // namespace

TEST(VncDes, KnownAnswersForChallenge00To0f)
{
    EXPECT_EQ(answer("s3cret"), "fc9a2bb8546a63388eb45b530d3a6337");
    EXPECT_EQ(answer("password"), "b866924125c8eebb9debc1db61c538e2");
    EXPECT_EQ(answer("12345678abc"), "83dd2b4dbd04367f28578fdd5b142740");
    EXPECT_EQ(answer(""), "491e890de9ace932838a49792f2213f3");
}

TEST(VncDes, PlainDesUnderMirroredKeyBytes)
{
    // The FIPS example: key 133457799BBCDFF1, 0123456789ABCDEF -> 85E813540F0AB405.
    const uint8_t standardKey[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
    uint8_t key[8];
    for (int i = 0; i < 8; ++i)
        key[i] = mirror(standardKey[i]);
    DesKeySchedule schedule;
    loadDesKey(key, schedule);
    uint8_t block[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    desTransformBlock(block, block, schedule);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(block), 8).toHex(), "85e813540f0ab405");
}

TEST(VncDes, OnlyTheFirstEightBytesAndLowSevenBitsCount)
{
    EXPECT_EQ(answer("12345678"), answer("12345678abc"));
    EXPECT_EQ(answer("12345678"), answer("123456789"));
    // The top bit of each password byte is a parity bit to DES.
    EXPECT_EQ(answer("\xb3"
                     "3cret"),
              answer("33cret"));
    EXPECT_NE(answer("s3cret"), answer("s3creT"));
}

TEST(VncDes, HalvesAreIndependentBlocks)
{
    const QByteArray same = QByteArray::fromHex("0011223344556677"
                                                "0011223344556677");
    const QByteArray response = answer("s3cret", same);
    EXPECT_EQ(response.left(16), response.mid(16));
}

TEST(VncDes, SchedulesAreKeptApartPerCaller)
{
    const uint8_t keyA[8] = {'a'};
    const uint8_t keyB[8] = {'b'};
    DesKeySchedule a;
    DesKeySchedule b;
    loadDesKey(keyA, a);
    loadDesKey(keyB, b); // loading b must not disturb a
    uint8_t blockA[8] = {};
    uint8_t blockA2[8] = {};
    desTransformBlock(blockA, blockA, a);
    DesKeySchedule a2;
    loadDesKey(keyA, a2);
    desTransformBlock(blockA2, blockA2, a2);
    EXPECT_EQ(0, std::memcmp(blockA, blockA2, 8));
}
