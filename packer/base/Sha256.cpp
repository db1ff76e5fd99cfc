#include "Sha256.h"

#include <string.h>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

const uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

const uint32_t kInitialHash[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                  0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

uint32_t rotateRight(uint32_t value, int count) { return (value >> count) | (value << (32 - count)); }

uint32_t readBigEndian(const uint8_t* at) {
  return (static_cast<uint32_t>(at[0]) << 24) | (static_cast<uint32_t>(at[1]) << 16) |
         (static_cast<uint32_t>(at[2]) << 8) | static_cast<uint32_t>(at[3]);
}

void compressBlock(uint32_t hash[8], const uint8_t* block) {
  uint32_t schedule[64];
  for (size_t i = 0; i < 16; ++i) schedule[i] = readBigEndian(block + 4 * i);
  for (int i = 16; i < 64; ++i) {
    const uint32_t s0 = rotateRight(schedule[i - 15], 7) ^ rotateRight(schedule[i - 15], 18) ^ (schedule[i - 15] >> 3);
    const uint32_t s1 = rotateRight(schedule[i - 2], 17) ^ rotateRight(schedule[i - 2], 19) ^ (schedule[i - 2] >> 10);
    schedule[i] = schedule[i - 16] + s0 + schedule[i - 7] + s1;
  }
  uint32_t a = hash[0], b = hash[1], c = hash[2], d = hash[3], e = hash[4], f = hash[5], g = hash[6], h = hash[7];
  for (int i = 0; i < 64; ++i) {
    const uint32_t t1 = h + (rotateRight(e, 6) ^ rotateRight(e, 11) ^ rotateRight(e, 25)) + ((e & f) ^ (~e & g)) +
                        kRoundConstants[i] + schedule[i];
    const uint32_t t2 = (rotateRight(a, 2) ^ rotateRight(a, 13) ^ rotateRight(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + t1;
    d = c;
    c = b;
    b = a;
    a = t1 + t2;
  }
  const uint32_t rounds[8] = {a, b, c, d, e, f, g, h};
  for (int i = 0; i < 8; ++i) hash[i] += rounds[i];
}

#if defined(__x86_64__)
// The SHA extensions of x86 processors (Intel since 2016, AMD since 2017) hash several times
// faster than the portable rounds; a pack hashes its whole payload, so it shows at fast levels.
// The rounds as Intel describes them: the state as ABEF and CDGH, four message words at a time.
__attribute__((target("sha,sse4.1,ssse3"))) void compressBlocksWithShaExtensions(uint32_t hash[8], const uint8_t* data,
                                                                                  size_t blocks) {
  const __m128i byte_swap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  __m128i cdab = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&hash[0])), 0xB1);
  __m128i efgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(&hash[4])), 0x1B);
  __m128i abef = _mm_alignr_epi8(cdab, efgh, 8);
  __m128i cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
  for (; blocks > 0; --blocks, data += 64) {
    const __m128i abef_before = abef;
    const __m128i cdgh_before = cdgh;
    __m128i words[4];
    for (size_t i = 0; i < 16; ++i) {
      __m128i message;
      if (i < 4) {
        message = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byte_swap);
      } else {
        __m128i sum = _mm_sha256msg1_epu32(words[i & 3], words[(i - 3) & 3]);
        sum = _mm_add_epi32(sum, _mm_alignr_epi8(words[(i - 1) & 3], words[(i - 2) & 3], 4));
        message = _mm_sha256msg2_epu32(sum, words[(i - 1) & 3]);
      }
      words[i & 3] = message;
      __m128i rounds = _mm_add_epi32(message, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRoundConstants[4 * i])));
      cdgh = _mm_sha256rnds2_epu32(cdgh, abef, rounds);
      rounds = _mm_shuffle_epi32(rounds, 0x0E);
      abef = _mm_sha256rnds2_epu32(abef, cdgh, rounds);
    }
    abef = _mm_add_epi32(abef, abef_before);
    cdgh = _mm_add_epi32(cdgh, cdgh_before);
  }
  const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&hash[0]), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(&hash[4]), _mm_alignr_epi8(dchg, feba, 8));
}

bool hasShaExtensions() noexcept {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
  const bool ssse3_and_sse41 = (ecx & bit_SSSE3) != 0 && (ecx & bit_SSE4_1) != 0;
  if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return false;
  return ssse3_and_sse41 && (ebx & bit_SHA) != 0;
}

const bool kShaExtensions = hasShaExtensions();  // NOLINT(cert-err58-cpp): hasShaExtensions throws nothing
#endif

void compressBlocks(uint32_t hash[8], const uint8_t* data, size_t blocks) {
#if defined(__x86_64__)
  if (kShaExtensions) {
    compressBlocksWithShaExtensions(hash, data, blocks);
    return;
  }
#endif
  for (; blocks > 0; --blocks, data += 64) compressBlock(hash, data);
}

}  // namespace

void sha256Init(Sha256State& state) {
  memcpy(state.hash, kInitialHash, sizeof state.hash);
  state.block_length = 0;
  state.total_length = 0;
}

void sha256Update(Sha256State& state, const void* data, size_t length) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  state.total_length += length;
  while (length > 0) {
    if (state.block_length == 0 && length >= 64) {
      const size_t blocks = length / 64;
      compressBlocks(state.hash, bytes, blocks);
      bytes += 64 * blocks;
      length -= 64 * blocks;
      continue;
    }
    const size_t taken = length < 64 - state.block_length ? length : 64 - state.block_length;
    memcpy(state.block + state.block_length, bytes, taken);
    state.block_length += taken;
    bytes += taken;
    length -= taken;
    if (state.block_length == 64) {
      compressBlocks(state.hash, state.block, 1);
      state.block_length = 0;
    }
  }
}

Sha256Digest sha256Final(Sha256State& state) {
  const uint64_t bit_length = state.total_length * 8;
  // The padding: one 1 bit, zeros up to 8 bytes before a block's end, the length in bits.
  uint8_t padding[72] = {0x80};
  const size_t zeros = (state.block_length < 56 ? 56 : 120) - state.block_length;
  for (int i = 0; i < 8; ++i) padding[zeros + i] = static_cast<uint8_t>(bit_length >> (56 - 8 * i));
  sha256Update(state, padding, zeros + 8);
  Sha256Digest digest;
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<uint8_t>(state.hash[i] >> (24 - 8 * j));
  }
  return digest;
}

Sha256Digest sha256(const void* data, size_t length) {
  Sha256State state;
  sha256Init(state);
  sha256Update(state, data, length);
  return sha256Final(state);
}

std::string hexDigits(const Sha256Digest& digest, size_t bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < bytes && i < digest.size(); ++i) {
    text += kDigits[digest[i] >> 4];
    text += kDigits[digest[i] & 0xF];
  }
  return text;
}
