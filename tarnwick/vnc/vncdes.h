#pragma once

// DES as VNC authentication uses it: the challenge encrypted block by block
// (no chaining) under a key made of the password, each key byte read with its
// bit order mirrored. The subkeys live in a schedule owned by the caller, so
// that several connections can authenticate at the same time.

#include <cstdint>

namespace VNC {

struct DesKeySchedule {
    // Per round, the eight 6-bit groups of the 48-bit subkey.
    uint8_t subkeys[16][8] = {};
};

// Computes the encryption subkeys of an 8-byte key (bytes read mirrored).
void loadDesKey(const uint8_t key[8], DesKeySchedule& schedule);

// One DES encryption of an 8-byte block; in and out may be the same bytes.
void desTransformBlock(const uint8_t in[8], uint8_t out[8], const DesKeySchedule& schedule);

// Encrypts the 16-byte challenge in place with the password (a zero-terminated
// byte string, of which at most 8 bytes count).
void encryptVncChallenge(uint8_t challenge[16], const char* password);

} // namespace VNC
