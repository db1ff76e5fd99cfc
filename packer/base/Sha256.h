// SHA-256 (FIPS 180-4), fed in pieces of any length, so that a packer that streams its payload can
// hash it as it goes. The packer names each build by the digest of its payload.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <array>
#include <string>

typedef std::array<uint8_t, 32> Sha256Digest;

struct Sha256State {
  uint32_t hash[8];
  uint8_t block[64];
  size_t block_length;    // bytes waiting in `block`
  uint64_t total_length;  // bytes fed so far
};

void sha256Init(Sha256State& state);
void sha256Update(Sha256State& state, const void* data, size_t length);
// Ends the message; start again with sha256Init before feeding more.
Sha256Digest sha256Final(Sha256State& state);

// The digest of one buffer.
Sha256Digest sha256(const void* data, size_t length);

// The first `bytes` bytes of the digest as lower-case hex digits.
std::string hexDigits(const Sha256Digest& digest, size_t bytes = 32);
