// Transparent copy by key (slot 3 without an alpha plane) of 24-bit pixels with SSE2. Sixteen pixels fill three
// registers exactly, so the key is laid out at the same three phases and compared byte by byte; a pixel matches
// when its three bytes do. Blocks without the key are stored whole and blocks of nothing but the key skipped;
// only blocks holding both (a sprite's edges) go pixel by pixel, and so do the row's last 0 to 15 pixels, so no
// byte after the row's last pixel is read.
#include <emmintrin.h>

#include "kernels/copy_kernels.h"

namespace kx {

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
            for (int i = 0; i < 16; i++)
                if (!((keyed >> (3 * i)) & 1))
                    memcpy(d + 3 * i, s + 3 * i, 3);
        }
        CopyTransparentPlain<Format24>(d, 0, s, 0, rest, 1, key);
    }
}

}  // namespace kx
