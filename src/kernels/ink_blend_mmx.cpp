// Code 1 with MMX for 24- and 32-bit rows, and the 32-bit transparent loop that blends only where the source is
// not the key. Channels are widened to 16 bits and each becomes s + ((d - s) * p >> 7) with a signed difference
// and an arithmetic shift - the plain lane formula's value, so the two paths agree byte for byte. A 32-bit result
// gets fourth byte 0, as on the plain path.
#include <mmintrin.h>

#include "kernels/ink_simd.h"

namespace kx {

namespace {

KX_TARGET_MMX inline __m64 BlendBytesMmx(__m64 s, __m64 d, __m64 p, __m64 colour)
{
    const __m64 zero = _mm_setzero_si64();
    __m64 slo = _mm_unpacklo_pi8(s, zero), shi = _mm_unpackhi_pi8(s, zero);
    __m64 lo = _mm_add_pi16(slo, _mm_srai_pi16(_mm_mullo_pi16(_mm_sub_pi16(_mm_unpacklo_pi8(d, zero), slo), p), 7));
    __m64 hi = _mm_add_pi16(shi, _mm_srai_pi16(_mm_mullo_pi16(_mm_sub_pi16(_mm_unpackhi_pi8(d, zero), shi), p), 7));
    return _mm_and_si64(_mm_packs_pu16(lo, hi), colour);
}

// Eight pixels per block: kBytes whole 8-byte words.
template <class F>
KX_TARGET_MMX void BlendRowMmx(InkContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    const __m64 p = _mm_set1_pi16((short)c->destinationWeight);
    const __m64 colour = _mm_set1_pi32(F::kBytes == 4 ? 0x00FFFFFF : -1);
    int words = n / 8 * F::kBytes;
    for (int k = 0; k < words; k++, src += 8, dst += 8) {
        __m64 s, d;
        memcpy(&s, src, 8);
        memcpy(&d, dst, 8);
        __m64 r = BlendBytesMmx(s, d, p, colour);
        memcpy(dst, &r, 8);
    }
    _mm_empty();
    InkRow<F, InkBlend>(c, src, dst, n % 8);
}

}  // namespace

void InkBlendRow24Mmx(InkContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    BlendRowMmx<Format24>(c, src, dst, n);
}

void InkBlendRow32Mmx(InkContext* c, const uint8_t* src, uint8_t* dst, int n)
{
    BlendRowMmx<Format32>(c, src, dst, n);
}

// Two pixels per step; a pair that is all key is skipped, a pair with one key pixel keeps that destination pixel.
KX_TARGET_MMX void InkBlendKeyedRow32Mmx(InkContext* c, const uint8_t* src, uint8_t* dst, int n, uint32_t key)
{
    const __m64 p = _mm_set1_pi16((short)c->destinationWeight);
    const __m64 colour = _mm_set1_pi32(0x00FFFFFF);
    const __m64 k = _mm_set1_pi32((int)key);
    int pairs = n / 2;
    for (int i = 0; i < pairs; i++, src += 8, dst += 8) {
        __m64 s, d;
        memcpy(&s, src, 8);
        __m64 same = _mm_cmpeq_pi32(s, k);
        if (_mm_cvtsi64_si32(same) == -1 && _mm_cvtsi64_si32(_mm_srli_si64(same, 32)) == -1)
            continue;
        memcpy(&d, dst, 8);
        __m64 r = BlendBytesMmx(s, d, p, colour);
        r = _mm_or_si64(_mm_and_si64(same, d), _mm_andnot_si64(same, r));
        memcpy(dst, &r, 8);
    }
    _mm_empty();
    InkKeyedRow<Format32, InkBlend>(c, src, dst, n % 2, key);
}

}  // namespace kx
