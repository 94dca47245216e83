// Transparent copy by key (slot 3 without an alpha plane) of 24-bit pixels with SSE2. Sixteen pixels fill three
// registers exactly, so the key is laid out at the same three phases and compared byte by byte; a pixel matches
// when its three bytes do. Blocks without the key are stored whole, blocks of nothing but the key skipped, and
// blocks holding both (a sprite's edges) merged with the destination. The row's last 0 to 15 pixels go one at a
// time, so no byte after the row's last pixel is read.
#include <emmintrin.h>

#include "kernels/copy_kernels.h"

namespace kx {

namespace {

// Sixteen bytes at d: the destination's where bit k of keep is set, the source's elsewhere.
KX_TARGET_SSE2 inline void Merge16(uint8_t* d, __m128i sv, uint32_t keep)
{
    if (keep == 0xFFFF)
        return;
    if (keep != 0) {
        // Bit k of keep to all of byte k: each byte gets its half of keep, then tests its own bit.
        __m128i m = _mm_cvtsi32_si128((int)keep);
        m = _mm_unpacklo_epi8(m, m);
        m = _mm_unpacklo_epi16(m, m);
        m = _mm_unpacklo_epi32(m, m);
        const __m128i bit = _mm_set_epi8(-128, 64, 32, 16, 8, 4, 2, 1, -128, 64, 32, 16, 8, 4, 2, 1);
        m = _mm_cmpeq_epi8(_mm_and_si128(m, bit), bit);
        sv = _mm_or_si128(_mm_and_si128(m, _mm_loadu_si128((const __m128i*)d)), _mm_andnot_si128(m, sv));
    }
    _mm_storeu_si128((__m128i*)d, sv);
}

}  // namespace

KX_TARGET_SSE2 void CopyTransparent24Sse2(uint8_t* dst, ptrdiff_t dstStep, const uint8_t* src, ptrdiff_t srcStep,
                                          int w, int h, uint32_t key)
{
    alignas(16) uint8_t pattern[48];
    for (int i = 0; i < 16; i++)
        Format24::Store(pattern + 3 * i, key);
    const __m128i k0 = _mm_load_si128((const __m128i*)pattern);
    const __m128i k1 = _mm_load_si128((const __m128i*)(pattern + 16));
    const __m128i k2 = _mm_load_si128((const __m128i*)(pattern + 32));
    // Bit 3i: the first byte of pixel i.
    const uint64_t firstBytes = 0x249249249249ull;
    int blocks = w / 16, rest = w % 16;
    for (int j = 0; j < h; j++, dst += dstStep, src += srcStep) {
        uint8_t* d = dst;
        const uint8_t* s = src;
        for (int b = 0; b < blocks; b++, d += 48, s += 48) {
            __m128i s0 = _mm_loadu_si128((const __m128i*)s);
            __m128i s1 = _mm_loadu_si128((const __m128i*)(s + 16));
            __m128i s2 = _mm_loadu_si128((const __m128i*)(s + 32));
            uint64_t same = (uint64_t)(uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(s0, k0)) |
                            (uint64_t)(uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(s1, k1)) << 16 |
                            (uint64_t)(uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(s2, k2)) << 32;
            uint64_t keyed = same & (same >> 1) & (same >> 2) & firstBytes;
            if (keyed == firstBytes)
                continue;
            if (keyed == 0) {
                _mm_storeu_si128((__m128i*)d, s0);
                _mm_storeu_si128((__m128i*)(d + 16), s1);
                _mm_storeu_si128((__m128i*)(d + 32), s2);
                continue;
            }
            uint64_t keyBytes = keyed | keyed << 1 | keyed << 2;
            Merge16(d, s0, (uint32_t)keyBytes & 0xFFFF);
            Merge16(d + 16, s1, (uint32_t)(keyBytes >> 16) & 0xFFFF);
            Merge16(d + 32, s2, (uint32_t)(keyBytes >> 32) & 0xFFFF);
        }
        CopyTransparentPlain<Format24>(d, 0, s, 0, rest, 1, key);
    }
}

}  // namespace kx
