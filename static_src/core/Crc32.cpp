#include "Crc32.h"

#include <zlib.h>

#if defined(__x86_64__)
#include <immintrin.h>
#define ONEFILE_CRC32_FOLDING 1
#endif

namespace {

uint32_t tableCrc(uint32_t crc, const uint8_t* bytes, uint64_t length) {
  uLong value = crc;
  while (length > 0) {
    const uInt piece = length > 0x40000000u ? 0x40000000u : static_cast<uInt>(length);
    value = crc32(value, bytes, piece);
    bytes += piece;
    length -= piece;
  }
  return static_cast<uint32_t>(value);
}

#if ONEFILE_CRC32_FOLDING
__attribute__((target("pclmul,sse4.1"))) inline __m128i fold128(__m128i into, __m128i next, __m128i constants) {
  return _mm_xor_si128(
      _mm_xor_si128(_mm_clmulepi64_si128(into, constants, 0x11), _mm_clmulepi64_si128(into, constants, 0x00)), next);
}

// Folding with carry-less multiplication (the technique of Intel's paper on CRC computation with
// PCLMULQDQ), in the bit-reflected domain of the polynomial 0xEDB88320. Works on the raw register
// (not inverted), takes a length of at least 64 that is a multiple of 16, and reduces the last 128
// bits with Barrett's method.
__attribute__((target("pclmul,sse4.1"))) uint32_t foldingCrc(uint32_t state, const uint8_t* bytes, uint64_t length) {
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);  // x^(4*128+32), x^(4*128-32) mod P
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);  // x^(128+32), x^(128-32) mod P
  const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);                // x^64 mod P
  const __m128i barrett = _mm_set_epi64x(0x01f7011641, 0x01db710641);  // floor(x^64 / P), P
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);

  __m128i x1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
  __m128i x2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16));
  __m128i x3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 32));
  __m128i x4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 48));
  x1 = _mm_xor_si128(x1, _mm_cvtsi32_si128(static_cast<int>(state)));
  bytes += 64;
  length -= 64;

  // Four lanes of 128 bits folded forward by 512 bits at a time.
  while (length >= 64) {
    const __m128i y1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
    const __m128i y2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16));
    const __m128i y3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 32));
    const __m128i y4 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 48));
    x1 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x1, k1k2, 0x11), _mm_clmulepi64_si128(x1, k1k2, 0x00)), y1);
    x2 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x2, k1k2, 0x11), _mm_clmulepi64_si128(x2, k1k2, 0x00)), y2);
    x3 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x3, k1k2, 0x11), _mm_clmulepi64_si128(x3, k1k2, 0x00)), y3);
    x4 = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x4, k1k2, 0x11), _mm_clmulepi64_si128(x4, k1k2, 0x00)), y4);
    bytes += 64;
    length -= 64;
  }

  // The four lanes into one, then the remaining 16-byte blocks.
  x1 = fold128(x1, x2, k3k4);
  x1 = fold128(x1, x3, k3k4);
  x1 = fold128(x1, x4, k3k4);
  while (length >= 16) {
    x1 = fold128(x1, _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)), k3k4);
    bytes += 16;
    length -= 16;
  }

  // 128 bits to 64, then Barrett reduction to 32.
  x2 = _mm_clmulepi64_si128(x1, k3k4, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
  x2 = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00), x2);
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), barrett, 0x10);
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, low32), barrett, 0x00);
  x1 = _mm_xor_si128(x1, x2);
  return static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
}

bool processorFolds() {
  static const bool supported = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return supported;
}
#endif

}  // namespace

uint32_t crc32Update(uint32_t crc, const void* data, uint64_t length) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
#if ONEFILE_CRC32_FOLDING
  if (length >= 64 && processorFolds()) {
    const uint64_t folded = length & ~uint64_t{15};
    crc = ~foldingCrc(~crc, bytes, folded);
    bytes += folded;
    length -= folded;
  }
#endif
  return tableCrc(crc, bytes, length);
}

uint32_t crc32Reference(uint32_t crc, const void* data, uint64_t length) {
  return tableCrc(crc, static_cast<const uint8_t*>(data), length);
}
