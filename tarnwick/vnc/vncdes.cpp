#include "tarnwick/vnc/vncdes.h"

#include <cstring>

namespace VNC {

namespace {

// The tables of FIPS 46; bit 1 is the most significant bit.
const uint8_t kInitialPermutation[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                                         62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                                         57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                                         61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

const uint8_t kPermutationP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                                   2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

const uint8_t kPermutedChoice1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
                                      35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
                                      46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

const uint8_t kPermutedChoice2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                                      26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                                      51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

const uint8_t kRotations[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

const uint8_t kSBoxes[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8, 3, 10, 6, 12, 5,  9,  0,  7,  0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5, 3, 8,  4, 1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2, 4, 9,  1, 7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8, 14, 6,  11, 3,  4, 9, 7, 2,  13, 12, 0, 5, 10, 3,  13, 4,  7, 15, 2,  8, 14, 12, 0, 1, 10, 6, 9, 11, 5,
     0,  14, 7, 11, 10, 4,  13, 1, 5, 8, 12, 6,  9,  3, 2, 15, 13, 8,  10, 1, 3,  15, 4, 2,  11, 6, 7, 12, 0, 5, 14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7, 11, 4,  2,  8,  13, 7, 0,  9, 3, 4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6, 4,  9,  8,  15, 3,  0, 11, 1, 2, 12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7, 4,  15, 14, 3,  11, 5, 2,  12},
    {7, 13, 14, 3, 0, 6,  9, 10, 1,  2, 8,  5, 11, 12, 4,  15, 13, 8,  11, 5, 6, 15,
     0, 3,  4,  7, 2, 12, 1, 10, 14, 9, 10, 6, 9,  0,  12, 11, 7,  13, 15, 1, 3, 14,
     5, 2,  8,  4, 3, 15, 0, 6,  10, 1, 13, 8, 9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4, 1,  7,  10, 11, 6, 8, 5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5, 0,  15, 10, 3,  9, 8, 6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0, 14, 11, 8,  12, 7, 1, 14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6, 8,  0, 13, 3,  4,  14, 7,  5, 11, 10, 15, 4, 2, 7, 12,
     9,  5,  6,  1,  13, 14, 0, 11, 3, 8,  9,  14, 15, 5,  2, 8,  12, 3,  7, 0, 4, 10,
     1,  13, 11, 6,  4,  3,  2, 12, 9, 5,  15, 10, 11, 14, 1, 7,  6,  0,  8, 13},
    {4, 11, 2,  14, 15, 0, 8, 13, 3,  12, 9, 7, 5, 10, 6, 1, 13, 0,  11, 7, 4, 9, 1,  10, 14, 3, 5, 12, 2,  15, 8, 6,
     1, 4,  11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5,  9, 2, 6,  11, 13, 8, 1, 4, 10, 7,  9,  5, 0, 15, 14, 2,  3, 12},
    {13, 2, 8, 4, 6,  15, 11, 1, 10, 9,  3,  14, 5, 0, 12, 7, 1, 15, 13, 8, 10, 3, 7,  4,  12, 5, 6, 11, 0, 14, 9, 2, 7,
     11, 4, 1, 9, 12, 14, 2,  0, 6,  10, 13, 15, 3, 5, 8,  2, 1, 14, 7,  4, 10, 8, 13, 15, 12, 9, 0, 3,  5, 6,  11}};

// Eight tables of 64 words, each an S-box followed by the permutation P, so
// that a round is eight lookups. Built once, read-only afterwards.
struct SpTables {
    uint32_t sp[8][64];

    SpTables()
    {
        for (int box = 0; box < 8; ++box) {
            for (int in = 0; in < 64; ++in) {
                const int row = ((in >> 4) & 2) | (in & 1);
                const int column = (in >> 1) & 15;
                const uint32_t s = uint32_t(kSBoxes[box][row * 16 + column]) << (28 - 4 * box);
                uint32_t p = 0;
                for (int i = 0; i < 32; ++i) {
                    if (s & (0x80000000u >> (kPermutationP[i] - 1)))
                        p |= 0x80000000u >> i;
                }
                sp[box][in] = p;
            }
        }
    }
};

const SpTables& spTables()
{
    static const SpTables tables;
    return tables;
}

uint64_t permute(uint64_t in, const uint8_t* table, int outBits, int inBits)
{
    uint64_t out = 0;
    for (int i = 0; i < outBits; ++i) {
        out <<= 1;
        out |= (in >> (inBits - table[i])) & 1;
    }
    return out;
}

uint32_t rotateRight(uint32_t v, int n)
{
    n &= 31;
    return n == 0 ? v : (v >> n) | (v << (32 - n));
}

uint8_t mirrored(uint8_t b)
{
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i) {
        if (b & (1 << i))
            r |= uint8_t(0x80 >> i);
    }
    return r;
}

uint32_t roundFunction(uint32_t r, const uint8_t* subkey)
{
    const SpTables& t = spTables();
    // Expansion E: group i is bits 4i .. 4i+5 of R (1-based, wrapping), i.e.
    // the top six bits of R rotated right by 1 - 4i.
    uint32_t f = 0;
    for (int i = 0; i < 8; ++i) {
        const uint32_t group = (rotateRight(r, 1 - 4 * i) >> 26) & 63;
        f |= t.sp[i][group ^ subkey[i]];
    }
    return f;
}

} // namespace

void loadDesKey(const uint8_t key[8], DesKeySchedule& schedule)
{
    uint64_t k = 0;
    for (int i = 0; i < 8; ++i)
        k = (k << 8) | mirrored(key[i]);
    const uint64_t cd = permute(k, kPermutedChoice1, 56, 64);
    uint32_t c = uint32_t(cd >> 28) & 0x0FFFFFFF;
    uint32_t d = uint32_t(cd) & 0x0FFFFFFF;
    for (int round = 0; round < 16; ++round) {
        for (int n = 0; n < kRotations[round]; ++n) {
            c = ((c << 1) | (c >> 27)) & 0x0FFFFFFF;
            d = ((d << 1) | (d >> 27)) & 0x0FFFFFFF;
        }
        const uint64_t joined = (uint64_t(c) << 28) | d;
        const uint64_t subkey = permute(joined, kPermutedChoice2, 48, 56);
        for (int g = 0; g < 8; ++g)
            schedule.subkeys[round][g] = uint8_t((subkey >> (42 - 6 * g)) & 63);
    }
}

void desTransformBlock(const uint8_t in[8], uint8_t out[8], const DesKeySchedule& schedule)
{
    uint64_t block = 0;
    for (int i = 0; i < 8; ++i)
        block = (block << 8) | in[i];
    block = permute(block, kInitialPermutation, 64, 64);
    uint32_t l = uint32_t(block >> 32);
    uint32_t r = uint32_t(block);
    for (int round = 0; round < 16; ++round) {
        const uint32_t next = l ^ roundFunction(r, schedule.subkeys[round]);
        l = r;
        r = next;
    }
    // The halves swap once more before the final permutation, the inverse
    // of the initial one.
    const uint64_t preOutput = (uint64_t(r) << 32) | l;
    uint64_t result = 0;
    for (int i = 0; i < 64; ++i) {
        const uint64_t bit = (preOutput >> (63 - i)) & 1;
        result |= bit << (64 - kInitialPermutation[i]);
    }
    for (int i = 7; i >= 0; --i) {
        out[i] = uint8_t(result);
        result >>= 8;
    }
}

void encryptVncChallenge(uint8_t challenge[16], const char* password)
{
    uint8_t key[8] = {};
    const size_t length = password ? strnlen(password, 8) : 0;
    if (length > 0)
        std::memcpy(key, password, length);
    DesKeySchedule schedule;
    loadDesKey(key, schedule);
    desTransformBlock(challenge, challenge, schedule);
    desTransformBlock(challenge + 8, challenge + 8, schedule);
}

} // namespace VNC
